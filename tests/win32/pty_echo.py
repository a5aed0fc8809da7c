#!/usr/bin/env python3
"""The far end of a serial line for the Win32 serial tests under Wine: a pseudo-terminal whose
every byte written comes back.

Prints the slave's path on its first line (link it as $WINEPREFIX/dosdevices/comN), then echoes
until it is killed. It keeps the slave open itself, so that the terminal stays up between the
test's opens, and buffers what it echoes, so that a large write is never held up by input that
the test has not read yet.
"""

import os
import pty
import select
import sys
import tty


def main() -> int:
    master, slave = pty.openpty()
    tty.setraw(slave)
    os.set_blocking(master, False)
    print(os.ttyname(slave), flush=True)
    pending = bytearray()
    while True:
        writable = [master] if pending else []
        readable, ready, _ = select.select([master], writable, [])
        if readable:
            try:
                pending += os.read(master, 1 << 16)
            except BlockingIOError:
                pass
        if ready and pending:
            try:
                del pending[: os.write(master, pending)]
            except BlockingIOError:
                pass


if __name__ == "__main__":
    try:
        sys.exit(main())
    except KeyboardInterrupt:
        sys.exit(0)
