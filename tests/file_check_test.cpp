// The plug-in's check of a run's files, bound by name from model.so as a host binds it: no phone,
// real files, the readers the downloads use.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/builders/infineon_builders.h"
// (keep this order)
#include "sim/builders/ap_builders.h"
#include "support/message_boxes.h"
#include "support/plugin.h"
#include "support/temp_dir.h"

namespace {

namespace b = phonesim::builders;
using Bytes = std::vector<uint8_t>;

class FileCheck : public ::testing::Test {
 protected:
  FileCheck() : check(plugin.Bind<CheckDownloadFilesFn>("CheckDownloadFiles")) {}

  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = dir / name;
    EXPECT_TRUE(b::WriteFile(path, Bytes(text.begin(), text.end())));
    return path;
  }
  // The verdict, and the message as a host reads it from a buffer of `room` bytes.
  std::pair<int, std::string> Check(int mode, const std::vector<std::string>& paths,
                                    uint32_t options, int room = 256) {
    std::vector<char> message(static_cast<size_t>(room), 'x');
    const int verdict = check(mode, &paths, options, message.data(), room);
    return {verdict, std::string(message.data())};
  }

  testing_support::TempDir dir;
  testing_support::Plugin plugin;
  CheckDownloadFilesFn check;
  testing_support::MessageBoxes boxes;
};

TEST_F(FileCheck, NormalDownloadFilesAndWhatTheEraseOptionsNeed) {
  const std::string config = Write("partition.cfg",
                                   "[device]\nTotal_size=0x3A6065\n[partition]\nname=boot\n"
                                   "size=0x1000\nfilename=boot.img\n[partition]\nname=userdata\n"
                                   "size=0x1000\n[end]\n");
  const std::string boot = Write("boot.img", std::string(0x1000, 'b'));
  const std::string psi = dir / "TQ4410_psi.fls";
  const Bytes image = b::BuildIfxImage({}).buffer;
  ASSERT_TRUE(b::WriteFile(psi, Bytes(image.begin() + 4, image.end())));
  EXPECT_EQ(Check(kCheckNormalDownload, {config, boot, psi}, 1 | 2 | 4),
            std::make_pair(1, std::string()));

  EXPECT_EQ(Check(kCheckNormalDownload, {boot, psi}, 1).first, 0);
  EXPECT_EQ(Check(kCheckNormalDownload, {config, boot}, 2),
            std::make_pair(0, std::string("erasing the modem's flash needs a modem image (psi, "
                                          "slb, V618 or AENEAS): none is given")));
  Write("boot.img", std::string(0x1001, 'b'));  // one byte more than its partition
  EXPECT_EQ(Check(kCheckNormalDownload, {config, boot}, 0),
            std::make_pair(0, boot + ": is larger than its partition"));
  // The message is cut to the caller's buffer, terminator included.
  EXPECT_EQ(Check(kCheckNormalDownload, {config, boot}, 0, 5),
            std::make_pair(0, boot.substr(0, 4)));
}

// A given file that no step of the download would write: named with why, apart from the files
// that cannot be used, so that a host may still run the others on purpose.
TEST_F(FileCheck, FilesNoStepWouldWriteAreNamedEachWithWhy) {
  const std::string boot = Write("boot.img", std::string(0x100, 'b'));
  const std::string config = Write("partition.cfg",
                                   "[device]\nTotal_size=0x3A6065\n[partition]\nname=boot\n"
                                   "size=0x1000\nfilename=boot.img\n[end]\n");
  const std::string again = Write("second.cfg", "[device]\n[end]\n");
  const std::string other = Write("Boot.img", "not named by any partition");
  EXPECT_EQ(Check(kCheckNormalDownload, {boot}, 0),
            std::make_pair(int{kCheckUnusedFiles},
                           boot + ": no step of this download would write it (there is no "
                                  "configuration file to name its partition)"));
  const std::string why = Check(kCheckNormalDownload, {config, boot, again, other}, 0, 1024).second;
  EXPECT_EQ(why, again +
                     ": no step of this download would write it (only the first "
                     "configuration file is read)\n" +
                     other +
                     ": no step of this download would write it (no partition of the "
                     "configuration names it)");
  EXPECT_EQ(Check(kCheckFactoryDownload, {boot, ""}, 0),
            std::make_pair(int{kCheckUnusedFiles},
                           boot + ": no step of this download would write it (a ROM image is a "
                                  "modem factory file, *.fls, or an eMMC one, *.bin)"));
}

TEST_F(FileCheck, FactoryFilesAreRefusedWithALineNotABox) {
  b::OmapFactoryBuilder emmc;
  emmc.Add({.imageSectors = 3, .areaSize = 8, .seed = 1}).Magic(0x12345678);
  const std::string bin = dir / "emmc.bin";
  ASSERT_TRUE(emmc.WriteTo(bin));
  EXPECT_EQ(Check(kCheckFactoryDownload, {"", bin}, 0),
            std::make_pair(0, bin + ": Magic number does not concide"));
  EXPECT_EQ(Check(kCheckFactoryDownload, {"", ""}, 2).first, 0);  // --erase cp, no modem file
  EXPECT_TRUE(boxes.Texts().empty());
  EXPECT_EQ(Check(7, {}, 0),
            std::make_pair(0, std::string("unknown kind of download to check: 7")));
}

}  // namespace
