// Every public header compiles after <windows.h> in one translation unit: a plug-in or host
// written for Windows includes both, and the library's message types must not collide with the
// system's names.
#include <windows.h>
// clang-format off
#include "corvane/flash/basic_flash.h"
#include "corvane/flash/infineon.h"
#include "corvane/flash/nvidia.h"
#include "corvane/flash/phone_control.h"
#include "corvane/flash/qualcomm.h"
#include "corvane/module/basic_module.h"
#include "corvane/module/file_mngr.h"
#include "corvane/module/zel_parser_basic.h"
#include "corvane/platform/byte_order.h"
#include "corvane/platform/cancellation.h"
#include "corvane/platform/clock.h"
#include "corvane/platform/export.h"
#include "corvane/platform/file_io.h"
#include "corvane/platform/file_status.h"
#include "corvane/platform/interrupts.h"
#include "corvane/platform/mailbox_target.h"
#include "corvane/platform/message_box.h"
#include "corvane/platform/message_target.h"
#include "corvane/platform/notify.h"
#include "corvane/platform/os_version.h"
#include "corvane/platform/path.h"
#include "corvane/platform/port_table.h"
#include "corvane/platform/private_files.h"
#include "corvane/platform/process.h"
#include "corvane/platform/progress_state.h"
#include "corvane/platform/pseudo_terminal.h"
#include "corvane/platform/reporter.h"
#include "corvane/platform/run_outcome.h"
#include "corvane/platform/run_routing.h"
#include "corvane/platform/serial_device.h"
#include "corvane/platform/shared_library.h"
#include "corvane/platform/sleep_inhibit.h"
#include "corvane/platform/step_log.h"
#include "corvane/platform/terminal.h"
#include "corvane/platform/thread_priority.h"
#include "corvane/platform/wake_event.h"
#include "corvane/platform/written_files.h"
#include "corvane/plugin/exports.h"
#include "corvane/ports/find_phone_ports.h"
#include "corvane/ports/port_enumeration.h"
#include "corvane/ports/published_ports.h"
#include "corvane/ports/serial_port_entry.h"
#include "corvane/ports/usb_descriptions.h"
#include "corvane/protocol/async.h"
#include "corvane/protocol/hdlc.h"
#include "corvane/protocol/misc_util_comm.h"
#include "corvane/protocol/packets.h"
#include "corvane/protocol/sha256.h"
#include "corvane/protocol/step_digest.h"
#include "corvane/serial/com_mngr.h"
// clang-format on

#include <gtest/gtest.h>

#include <type_traits>

namespace {

// A message's parameters travel as the system's own: a pointer fits in both, signedness as
// Windows has it.
TEST(PublicHeaders, MessageParametersHaveTheSystemsSizesAndSignedness) {
  static_assert(sizeof(platform::WPARAM) == sizeof(::WPARAM));
  static_assert(sizeof(platform::LPARAM) == sizeof(::LPARAM));
  static_assert(sizeof(platform::LRESULT) == sizeof(::LRESULT));
  EXPECT_EQ(std::is_signed_v<platform::WPARAM>, std::is_signed_v<::WPARAM>);
  EXPECT_EQ(std::is_signed_v<platform::LPARAM>, std::is_signed_v<::LPARAM>);
  EXPECT_EQ(std::is_signed_v<platform::LRESULT>, std::is_signed_v<::LRESULT>);
}

}  // namespace
