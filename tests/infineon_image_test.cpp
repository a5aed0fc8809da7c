// The Infineon element image: the bounded readers, the two extractors and the block checksum.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "corvane/flash/basic_flash.h"
#include "corvane/platform/byte_order.h"
#include "corvane/platform/notify.h"
#include "flash/ifx_image.h"
#include "sim/builders/infineon_builders.h"
#include "support/recording_window.h"

namespace {

namespace b = phonesim::builders;
using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

uint32_t Le32(const Bytes& b, size_t at) { return bytes::LoadLe32(b.data() + at); }

// Texts and codes in the order the window got them; codes as "#n".
Lines Log(const testing_support::RecordingWindow& window) {
  Lines out;
  for (const auto& m : window.Messages()) {
    out.push_back(m.wParam == notify::kStatusText ? m.text : "#" + std::to_string(m.value));
  }
  return out;
}

// --- IFX_CheckSumB ----------------------------------------------------------------------------

TEST(IfxCheckSum, SumsTheGivenBytesIntoSixteenWrappingBits) {
  const Bytes ff(65535, 0xFF);
  EXPECT_EQ(CBasicFlash::IFX_CheckSumB(ff.data(), 300), 10964);  // 76500 mod 65536
  EXPECT_EQ(CBasicFlash::IFX_CheckSumB(ff.data(), 0), 0);
  EXPECT_EQ(CBasicFlash::IFX_CheckSumB(ff.data(), 65535), 65281);  // 255 * 65535 mod 65536
  const Bytes small = {1, 2, 3, 200};
  EXPECT_EQ(CBasicFlash::IFX_CheckSumB(small.data(), 3), 6);  // the fourth byte is not counted
  EXPECT_EQ(CBasicFlash::IFX_CheckSumB(small.data(), 4), 206);
}

// --- the extractors on sound images -----------------------------------------------------------

class Extract : public ::testing::Test {
 protected:
  Extract() { flash.SetParentHandle(&window); }

  // Marks every member the extractors write, to see what they left alone.
  void Poison() {
    flash.m_Infineon.psiImage.assign(3, 0xEE);
    flash.m_Infineon.eblImage.assign(3, 0xEE);
    std::fill(std::begin(flash.m_Infineon.psiDesc), std::end(flash.m_Infineon.psiDesc), 0xEEEEEEEE);
    std::fill(std::begin(flash.m_Infineon.eblDesc), std::end(flash.m_Infineon.eblDesc), 0xEEEEEEEE);
    std::fill(std::begin(flash.m_Infineon.codeDesc), std::end(flash.m_Infineon.codeDesc),
              0xEEEEEEEE);
    std::memset(flash.m_Infineon.bootInfo, 0xEE, sizeof flash.m_Infineon.bootInfo);
    std::memset(flash.m_Infineon.security, 0xEE, sizeof flash.m_Infineon.security);
    flash.m_Infineon.codeDataOffset = 0xEEEEEEEE;
  }
  bool Poisoned() const {
    const auto ee = [](uint32_t w) { return w == 0xEEEEEEEE; };
    return flash.m_Infineon.psiImage == Bytes(3, 0xEE) &&
           flash.m_Infineon.eblImage == Bytes(3, 0xEE) &&
           std::all_of(std::begin(flash.m_Infineon.psiDesc), std::end(flash.m_Infineon.psiDesc),
                       ee) &&
           std::all_of(std::begin(flash.m_Infineon.eblDesc), std::end(flash.m_Infineon.eblDesc),
                       ee) &&
           std::all_of(std::begin(flash.m_Infineon.codeDesc), std::end(flash.m_Infineon.codeDesc),
                       ee) &&
           Bytes(flash.m_Infineon.bootInfo, flash.m_Infineon.bootInfo + 172) == Bytes(172, 0xEE) &&
           Bytes(flash.m_Infineon.security, flash.m_Infineon.security + 2048) ==
               Bytes(2048, 0xEE) &&
           flash.m_Infineon.codeDataOffset == 0xEEEEEEEE;
  }

  testing_support::RecordingWindow window;
  CBasicFlash flash;
};

TEST_F(Extract, LoadersAndBootInformationComeOutOfASoundImage) {
  const b::IfxImageParts parts;
  const b::IfxImage image = b::BuildIfxImage(parts);
  EXPECT_EQ(flash.ExtractPsiEbl(image.buffer.data(), nullptr), 1);
  EXPECT_EQ(flash.m_Infineon.psiImage, parts.psi);
  EXPECT_EQ(flash.m_Infineon.eblImage, parts.ebl);
  EXPECT_EQ(flash.m_Infineon.psiDesc[2], parts.psi.size());
  EXPECT_EQ(flash.m_Infineon.eblDesc[2], parts.ebl.size());
  EXPECT_EQ(flash.m_Infineon.psiDesc[0], 0x00010001u);  // the whole descriptor is kept
  EXPECT_EQ(Bytes(flash.m_Infineon.bootInfo, flash.m_Infineon.bootInfo + 172), parts.bootInfo);
  EXPECT_TRUE(window.Messages().empty());
}

TEST_F(Extract, CodeDescriptorAndSecurityBlockComeOutOfASoundImage) {
  const b::IfxImageParts parts;
  const b::IfxImage image = b::BuildIfxImage(parts);
  EXPECT_EQ(flash.ExtractDataFromIFX(image.buffer.data(), nullptr), 1);
  EXPECT_EQ(flash.m_Infineon.codeDataOffset, image.codeAt);
  EXPECT_EQ(flash.m_Infineon.codeDesc[4], parts.code.size());
  for (size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(flash.m_Infineon.codeDesc[i], Le32(image.buffer, image.codeDescAt + 4 * i)) << i;
  }
  EXPECT_EQ(Bytes(flash.m_Infineon.security, flash.m_Infineon.security + 2048), parts.security);
  EXPECT_TRUE(std::equal(parts.code.begin(), parts.code.end(),
                         image.buffer.begin() + flash.m_Infineon.codeDataOffset));
  EXPECT_TRUE(window.Messages().empty());
}

// The loaders may come from an earlier image; the data step writes this image's code or nothing.
TEST_F(Extract, ElementsOfUnknownTypesExtractNoLoadersAndNoDataToWrite) {
  b::IfxElements area;
  area.Add(0x01, b::Pattern(300, 1));
  area.Add(0x11, b::Pattern(3000, 2));  // 17, between the types that are read
  area.Add(0x7FFFFFFF, {});
  const Bytes image = area.AsImage();
  Poison();
  EXPECT_EQ(flash.ExtractPsiEbl(image.data(), nullptr), 1);
  EXPECT_EQ(flash.ExtractDataFromIFX(image.data(), nullptr), 0);
  EXPECT_TRUE(Poisoned());
  EXPECT_EQ(Log(window), (Lines{"The image holds no code element to write", "#200"}));
  window.Clear();
  b::IfxElements codeOnly;
  codeOnly.Add(ifx::kCode, b::IfxCodeData(b::Pattern(10, 1)));
  EXPECT_EQ(flash.ExtractDataFromIFX(codeOnly.AsImage().data(), nullptr), 0);
  EXPECT_EQ(Log(window), (Lines{"The image holds no security block", "#200"}));
  window.Clear();
  b::IfxImageParts empty;
  empty.code.clear();  // a code element of no code
  EXPECT_EQ(flash.ExtractDataFromIFX(b::BuildIfxImage(empty).buffer.data(), nullptr), 0);
  EXPECT_EQ(Log(window), (Lines{"The image holds no code element to write", "#200"}));
}

TEST_F(Extract, LoaderBuffersFollowEachImageAndGrowWhenALaterOneIsLarger) {
  b::IfxImageParts parts;
  parts.psi = b::Pattern(100, 7);
  ASSERT_EQ(flash.ExtractPsiEbl(b::BuildIfxImage(parts).buffer.data(), nullptr), 1);
  EXPECT_EQ(flash.m_Infineon.psiImage, parts.psi);
  parts.psi = b::Pattern(9000, 8);
  ASSERT_EQ(flash.ExtractPsiEbl(b::BuildIfxImage(parts).buffer.data(), nullptr), 1);
  EXPECT_EQ(flash.m_Infineon.psiImage, parts.psi);
  EXPECT_EQ(flash.m_Infineon.psiDesc[2], 9000u);
  parts.psi = b::Pattern(50, 9);
  ASSERT_EQ(flash.ExtractPsiEbl(b::BuildIfxImage(parts).buffer.data(), nullptr), 1);
  EXPECT_EQ(Bytes(flash.m_Infineon.psiImage.begin(),
                  flash.m_Infineon.psiImage.begin() + flash.m_Infineon.psiDesc[2]),
            parts.psi);
}

TEST_F(Extract, OfSeveralElementsOfOneKindTheLastWins) {
  b::IfxElements area;
  area.Add(ifx::kCode, b::IfxCodeData(b::Pattern(10, 1)));
  const size_t second = area.Add(ifx::kCode, b::IfxCodeData(b::Pattern(20, 2)));
  area.Add(ifx::kSecurity, b::SecurityBlock(1, 1));
  area.Add(ifx::kSecurity, b::SecurityBlock(2, 2));
  const Bytes image = area.AsImage();
  ASSERT_EQ(flash.ExtractDataFromIFX(image.data(), nullptr), 1);
  EXPECT_EQ(flash.m_Infineon.codeDesc[4], 20u);
  EXPECT_EQ(flash.m_Infineon.codeDataOffset, 4 + second + 40);
  EXPECT_EQ(Bytes(flash.m_Infineon.security, flash.m_Infineon.security + 2048),
            b::SecurityBlock(2, 2));
}

TEST_F(Extract, WalkEndsAtAZeroLengthElementAndAtAHeaderCutShort) {
  b::IfxElements area;
  area.Add(ifx::kBootInfo, Bytes(172, 0x42));
  area.Area().insert(area.Area().end(), 12, 0);          // length 0: the walk ends here
  area.Add(ifx::kPsi, b::IfxLoaderDesc(1, 0x7FFFFFF0));  // would be refused if it were read
  const Bytes image = area.AsImage();
  ASSERT_EQ(flash.ExtractPsiEbl(image.data(), nullptr), 1);
  EXPECT_EQ(flash.m_Infineon.bootInfo[0], 0x42);
  EXPECT_EQ(flash.m_Infineon.psiDesc[2], 0u);

  for (size_t trailing : {1u, 11u}) {
    b::IfxImageParts parts;
    b::IfxLies lies;
    lies.trailingBytes = trailing;
    EXPECT_EQ(flash.ExtractPsiEbl(b::BuildIfxImage(parts, lies).buffer.data(), nullptr), 1);
    EXPECT_EQ(flash.m_Infineon.eblImage, parts.ebl) << trailing;
  }
  EXPECT_TRUE(window.Messages().empty());
}

TEST_F(Extract, LoaderMayEndExactlyAtTheEndOfTheElementArea) {
  b::IfxElements area;
  const Bytes psi = b::Pattern(64, 3);
  area.Add(ifx::kPsi, b::IfxLoaderDesc(64, 0));
  area.Add(0x21, psi);  // the PSI's container: its data runs up to the end of the area
  area.PutWord(12 + 16, static_cast<uint32_t>(area.Size() - 64));
  ASSERT_EQ(flash.ExtractPsiEbl(area.AsImage().data(), nullptr), 1);
  EXPECT_EQ(flash.m_Infineon.psiImage, psi);
  area.PutWord(12 + 16, static_cast<uint32_t>(area.Size() - 63));  // one byte further
  EXPECT_EQ(flash.ExtractPsiEbl(area.AsImage().data(), nullptr), 0);
  EXPECT_EQ(window.Texts(), Lines{"PSI descriptor points outside the image"});
}

// --- lying images --------------------------------------------------------------------------

struct Lie {
  const char* name;
  b::IfxLies lies;
  bool loaders;  // the lie is in what ExtractPsiEbl reads (else ExtractDataFromIFX)
  std::string line;
};

std::vector<Lie> ImageLies() {
  // Element offsets in the default image: PSI container 0 (1512 bytes), EBL container 1512
  // (5012), PSI descriptor 6524, EBL descriptor 6556, boot info 6588, security 6772, code 8832.
  const std::string past = "Element of type 12 at offset 8836 of the image runs past its end";
  return {
      {"PSI offset past the area",
       {.psiOffsetShift = 20000},
       true,
       "PSI descriptor points outside the image"},
      {"PSI size past the area",
       {.psiSizeExtra = 40000},
       true,
       "PSI descriptor points outside the image"},
      {"PSI offset plus size wraps 32 bits",
       {.psiSizeExtra = 0xFFFFFFFAu - 1500},
       true,
       "PSI descriptor points outside the image"},
      {"EBL offset past the area",
       {.eblOffsetShift = 0x80000000},
       true,
       "EBL descriptor points outside the image"},
      {"EBL size past the area",
       {.eblSizeExtra = 9000},
       true,
       "EBL descriptor points outside the image"},
      {"code longer than its element",
       {.codeLengthExtra = 1},
       false,
       "Code of the element at offset 8836 of the image (5001 bytes) runs past its element"},
      {"last element past the area (data)", {.lastElementExtra = 0x7FFFFFFF}, false, past},
      {"area cut inside the last element", {.cutBytes = 100}, false, past},
  };
}

TEST_F(Extract, LyingImagesAreRefusedWithALineAndCode200AndChangeNothing) {
  for (const Lie& lie : ImageLies()) {
    SCOPED_TRACE(lie.name);
    window.Clear();
    Poison();
    const Bytes image = b::BuildIfxImage(b::IfxImageParts{}, lie.lies).buffer;
    const int result = lie.loaders ? flash.ExtractPsiEbl(image.data(), nullptr)
                                   : flash.ExtractDataFromIFX(image.data(), nullptr);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Log(window), (Lines{lie.line, "#200"}));
    EXPECT_TRUE(Poisoned());
  }
}

// A cut file ends in an element that reaches past the area: a step that does not read it takes
// what it needs from the whole elements before it.
TEST_F(Extract, CutElementThatTheStepDoesNotReadIsSkipped) {
  b::IfxImageParts parts;
  const Bytes cutCode = b::BuildIfxImage(parts, {.lastElementExtra = 1}).buffer;
  ASSERT_EQ(flash.ExtractPsiEbl(cutCode.data(), nullptr), 1);
  EXPECT_EQ(flash.m_Infineon.eblImage, parts.ebl);

  b::IfxElements area;
  area.Add(ifx::kCode, b::IfxCodeData(b::Pattern(10, 1)));
  area.Add(ifx::kSecurity, Bytes(ifx::kSecuritySize, 0x5A));
  const size_t cut = area.Add(0x01, Bytes(40, 0));
  area.PutWord(cut + 4, 1000);  // claims more than the area has left
  ASSERT_EQ(flash.ExtractDataFromIFX(area.AsImage().data(), nullptr), 1);
  EXPECT_EQ(flash.m_Infineon.security[0], 0x5A);
  EXPECT_TRUE(window.Messages().empty());
}

TEST_F(Extract, ElementsTooShortForWhatIsReadAreRefused) {
  const struct {
    uint32_t type;
    size_t dataSize;
    bool loaders;
  } cases[] = {{ifx::kPsi, 19, true},
               {ifx::kEbl, 0, true},
               {ifx::kBootInfo, 171, true},
               {ifx::kSecurity, 2047, false},
               {ifx::kCode, 27, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    window.Clear();
    b::IfxElements area;
    area.Add(0x01, Bytes(8, 0));
    area.Add(c.type, Bytes(c.dataSize, 0));
    const Bytes image = area.AsImage();
    EXPECT_EQ(c.loaders ? flash.ExtractPsiEbl(image.data(), nullptr)
                        : flash.ExtractDataFromIFX(image.data(), nullptr),
              0);
    EXPECT_EQ(Log(window), (Lines{"Element of type " + std::to_string(c.type) +
                                      " at offset 24 of the image is too short for its data",
                                  "#200"}));
  }
}

TEST_F(Extract, ElementShorterThanItsHeaderAndMissingImageAreRefused) {
  b::IfxElements area;
  area.Add(0x01, Bytes(20, 0));
  area.PutWord(4, 11);
  EXPECT_EQ(flash.ExtractDataFromIFX(area.AsImage().data(), nullptr), 0);
  EXPECT_EQ(flash.ExtractPsiEbl(nullptr, nullptr), 0);
  EXPECT_EQ(Log(window), (Lines{"Element at offset 4 of the image is shorter than its header",
                                "#200", "No image to read", "#200"}));
}

// --- the readers alone --------------------------------------------------------------------

TEST(IfxReaders, LengthWordMustFitTheBuffer) {
  Bytes image = b::BuildIfxImage(b::IfxImageParts{}).buffer;
  ifx::MemorySource whole(image.data(), image.size());
  ifx::Area area;
  EXPECT_EQ(ifx::ImageArea(whole, area), "");
  EXPECT_EQ(area.start, 4u);
  EXPECT_EQ(area.length, image.size() - 4);
  ifx::MemorySource shorter(image.data(), image.size() - 1);
  EXPECT_NE(ifx::ImageArea(shorter, area), "");
  ifx::MemorySource tiny(image.data(), 3);
  EXPECT_EQ(ifx::ImageArea(tiny, area), "The image is shorter than its length word");
}

TEST(IfxReaders, WalkVisitsEveryElementInOrderWithItsTag) {
  b::IfxElements area;
  area.Add(5, Bytes(3, 0), 77);
  area.Add(6, {}, 78);
  area.Add(7, Bytes(100, 0), 79);
  ifx::MemorySource source(area.Area().data(), area.Size());
  ifx::ElementWalker walker(source, ifx::Area{0, area.Size(), "factory file"});
  std::vector<std::pair<uint32_t, uint64_t>> seen;
  ifx::Element e;
  while (walker.Next(e)) {
    seen.emplace_back(e.type, e.at);
    EXPECT_EQ(e.tag, e.type + 72);
  }
  EXPECT_EQ(walker.Error(), "");
  EXPECT_EQ(seen, (std::vector<std::pair<uint32_t, uint64_t>>{{5, 0}, {6, 15}, {7, 27}}));
}

TEST(IfxReaders, LoadListCountMustFitItsElement) {
  std::vector<b::IfxComponent> records(2);
  records[0] = {"first", 1, {}, 0, true, true};
  records[1] = {std::string(200, 'x'), 2, {}, 0, true, true};  // cut to 127 and zero-ended
  for (uint32_t extra : {0u, 1u}) {
    b::IfxElements area;
    area.Add(ifx::kLoadList, b::IfxLoadList(records, extra));
    ifx::MemorySource source(area.Area().data(), area.Size());
    const ifx::Area whole{0, area.Size(), "factory file"};
    ifx::ElementWalker walker(source, whole);
    ifx::Element e;
    ASSERT_TRUE(walker.Next(e));
    ifx::LoadList list;
    const ifx::Refusal why = ifx::ReadLoadList(source, whole, e, list);
    if (extra == 0) {
      ASSERT_EQ(why, "");
      ifx::LoadRecord r;
      ASSERT_TRUE(ifx::ReadLoadRecord(source, list, 1, r));
      EXPECT_EQ(r.id, 2u);
      EXPECT_EQ(r.name, std::string(127, 'x'));
      EXPECT_FALSE(ifx::ReadLoadRecord(source, list, 2, r));
    } else {
      EXPECT_EQ(why,
                "Load list at offset 0 of the factory file counts 3 records, more than its "
                "element holds");
    }
  }
}

TEST(IfxReaders, NameWithoutItsZeroStopsAtTheRecordsEnd) {
  b::IfxElements area;
  Bytes list = b::IfxLoadList({b::IfxComponent{"", 9, {}, 0, true, true}});
  std::fill(list.end() - 128, list.end(), 'N');
  area.Add(ifx::kLoadList, list);
  ifx::MemorySource source(area.Area().data(), area.Size());
  ifx::LoadRecord r;
  ASSERT_TRUE(ifx::ReadLoadRecord(source, ifx::LoadList{1, 24}, 0, r));
  EXPECT_EQ(r.name, std::string(128, 'N'));
}

}  // namespace
