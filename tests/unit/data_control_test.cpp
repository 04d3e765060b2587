#include "platform/linux/wayland/data_control.h"

#include <wayland-util.h>

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace {

// The wlr name of an ext interface, and other names as they are.
std::string asWlr(const wl_interface* interface) {
  if (!interface) return "(none)";
  const std::string name = interface->name;
  return name.starts_with("ext_") ? "zwlr_" + name.substr(4) : name;
}

// A signature without the version it appeared in, which the two protocols
// number differently and which never reaches the wire.
std::string withoutSince(const char* signature) {
  std::string kept;
  for (const char* c = signature; *c; ++c) {
    if (!std::isdigit(static_cast<unsigned char>(*c))) kept += *c;
  }
  return kept;
}

void expectSameMessages(const wl_message* ext, int extCount, const wl_message* wlr, int wlrCount) {
  ASSERT_EQ(extCount, wlrCount);
  for (int i = 0; i < extCount; ++i) {
    SCOPED_TRACE(ext[i].name);
    EXPECT_STREQ(ext[i].name, wlr[i].name);
    const std::string signature = withoutSince(ext[i].signature);
    EXPECT_EQ(signature, withoutSince(wlr[i].signature));
    int argument = 0;
    for (char type : signature) {
      if (type == '?') continue;
      EXPECT_EQ(asWlr(ext[i].types[argument]), asWlr(wlr[i].types[argument]));
      ++argument;
    }
  }
}

// One implementation drives both protocols by opcode, so each request it
// sends and each event it handles must mean the same in both.
TEST(DataControlTest, ExtAndWlrProtocolsHaveTheSameMessages) {
  const struct {
    const wl_interface* ext;
    const wl_interface* wlr;
  } pairs[] = {{extDataControl.manager, wlrDataControl.manager},
               {extDataControl.device, wlrDataControl.device},
               {extDataControl.source, wlrDataControl.source},
               {extDataControl.offer, wlrDataControl.offer}};
  EXPECT_STREQ(extDataControl.managerName, extDataControl.manager->name);
  EXPECT_STREQ(wlrDataControl.managerName, wlrDataControl.manager->name);
  for (const auto& [ext, wlr] : pairs) {
    SCOPED_TRACE(ext->name);
    EXPECT_EQ(asWlr(ext), wlr->name);
    expectSameMessages(ext->methods, ext->method_count, wlr->methods, wlr->method_count);
    expectSameMessages(ext->events, ext->event_count, wlr->events, wlr->event_count);
  }
}

}  // namespace
