#include "platform/linux/x11/x_selection_data.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using Step = SelectionTextAssembler::Step;

// Distinct numbers stand in for interned atoms.
SelectionAtoms fakeAtoms() {
  SelectionAtoms a;
  a.clipboard = 100, a.targets = 101, a.timestamp = 102, a.multiple = 103, a.incr = 104;
  a.atomPair = 105, a.utf8String = 106, a.utf8Mime = 107, a.text = 108, a.compoundText = 109;
  return a;
}

PropertyValue prop(uint32_t type, std::string bytes, uint8_t format = 8) {
  return {type, format, std::move(bytes)};
}

TEST(SelectionData, Latin1ConversionIsExactOrRefused) {
  std::string all;
  for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
  EXPECT_EQ(utf8ToLatin1(latin1ToUtf8(all)), all);

  const struct {
    std::string utf8;
    std::optional<std::string> latin1;
  } cases[] = {
      {"", ""},
      {"café\n", "caf\xe9\n"},
      {"Tiếng Việt", std::nullopt},
      {"\xe2\x82\xac", std::nullopt},  // the euro sign is not in Latin-1
      {"caf\xc3", std::nullopt},       // cut short
      {"\xc3(", std::nullopt},         // lead byte without continuation
      {"\xc0\xaf", std::nullopt},      // overlong
      {"\xe9", std::nullopt},          // Latin-1 itself is not UTF-8
  };
  for (const auto& c : cases) {
    EXPECT_EQ(utf8ToLatin1(c.utf8), c.latin1) << c.utf8;
    EXPECT_EQ(fitsLatin1(c.utf8), c.latin1.has_value()) << c.utf8;
  }
}

TEST(SelectionData, AssemblesLatin1AndChunkedText) {
  const auto atoms = fakeAtoms();
  SelectionTextAssembler latin(atoms, 1 << 20);
  ASSERT_EQ(latin.first(prop(atomString, "caf\xe9")), Step::done);
  EXPECT_EQ(latin.take(), "café");

  // A change notice for an already deleted property reads as type None and
  // is passed over.
  SelectionTextAssembler chunks(atoms, 1 << 20);
  ASSERT_EQ(chunks.first(prop(atoms.incr, itemsToBytes(std::vector<uint32_t>{5}), 32)),
            Step::needChunk);
  EXPECT_EQ(chunks.chunk(prop(atomNone, "")), Step::needChunk);
  EXPECT_EQ(chunks.chunk(prop(atoms.utf8Mime, "Xin ")), Step::needChunk);
  EXPECT_EQ(chunks.chunk(prop(atoms.utf8Mime, std::string("ch\0ào\n", 7))), Step::needChunk);
  ASSERT_EQ(chunks.chunk(prop(atoms.utf8Mime, "")), Step::done);
  EXPECT_EQ(chunks.take(), std::string("Xin ch\0ào\n", 11));
}

TEST(SelectionData, RefusesWhatIsNotText) {
  const auto atoms = fakeAtoms();
  const uint32_t png = 200;
  const auto incr = prop(atoms.incr, itemsToBytes(std::vector<uint32_t>{1}), 32);
  const struct {
    const char* what;
    std::vector<PropertyValue> values;  // the first, then chunks
  } cases[] = {
      {"no property", {prop(atomNone, "")}},
      {"an image", {prop(png, "\x89PNG")}},
      {"wrong format", {prop(atoms.utf8String, "abcd", 32)}},
      {"over the limit", {prop(atoms.utf8String, "0123456789")}},
      {"compound text with escapes", {prop(atoms.compoundText, "\x1b$)B")}},
      {"image chunks", {incr, prop(png, "x"), prop(png, "")}},
      {"chunk format", {incr, prop(atoms.utf8String, "ab", 16)}},
      {"chunk type changes", {incr, prop(atoms.utf8String, "a"), prop(atomString, "b")}},
      {"chunks over the limit",
       {incr, prop(atoms.utf8String, "012345"), prop(atoms.utf8String, "6789")}},
  };
  for (const auto& c : cases) {
    SelectionTextAssembler assembler(atoms, 8);
    Step step = assembler.first(c.values[0]);
    for (size_t i = 1; i < c.values.size() && step == Step::needChunk; ++i) {
      step = assembler.chunk(c.values[i]);
    }
    EXPECT_EQ(step, Step::noText) << c.what;
  }
}

}  // namespace
