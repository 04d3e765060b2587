#include "platform/linux/x11/x_clipboard.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/linux/x11/x_selection_data.h"
#include "platform/posix/child_process.h"
#include "platform/posix/unique_fd.h"
#include "x_test_server.h"

namespace {

const std::string vietnamese = "Tiếng Việt có dấu: Mục tiêu đã bị khoá\n";

// A text that is not the same every few kilobytes, so a misplaced chunk shows.
std::string bigText(size_t size) {
  std::string text;
  for (size_t line = 0; text.size() < size; ++line) {
    text += "dòng " + std::to_string(line) + " — Tiếng Việt\n";
  }
  text.resize(size);
  return text;
}

// Runs each peer part on a thread of its own while this thread serves the
// agent's connection, until every part has ended.
void whileServing(XConnection& x, const std::vector<std::function<void()>>& parts) {
  UniqueFd done(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  std::atomic<size_t> finished = 0;
  std::vector<std::thread> threads;
  for (const auto& part : parts) {
    threads.emplace_back([&] {
      part();
      ++finished;
      const uint64_t one = 1;
      EXPECT_EQ(::write(done.get(), &one, sizeof one), static_cast<ssize_t>(sizeof one));
    });
  }
  auto allDone = [&] {
    uint64_t count;
    [[maybe_unused]] auto n = ::read(done.get(), &count, sizeof count);
    return finished == parts.size();
  };
  EXPECT_TRUE(serveUntil(x, allDone, {done.get()}));
  for (auto& t : threads) t.join();
}

// Reads the CLIPBOARD with xclip, one reader per target, all at once.
std::vector<ChildResult> readWhileServing(XConnection& x, const std::vector<std::string>& targets) {
  std::vector<ChildResult> results(targets.size());
  std::vector<std::function<void()>> readers;
  for (size_t i = 0; i < targets.size(); ++i) {
    readers.push_back([&, i] {
      results[i] = runChild("/usr/bin/xclip",
                            {"xclip", "-selection", "clipboard", "-o", "-t", targets[i]}, {});
    });
  }
  whileServing(x, readers);
  return results;
}

// Makes peer's window own the selection; true once the server confirms it.
bool own(XConnection& peer, std::string_view selection) {
  xcb_set_selection_owner(peer.get(), peer.window(), peer.atom(selection), XCB_CURRENT_TIME);
  XReply<xcb_get_selection_owner_reply_t> reply(xcb_get_selection_owner_reply(
      peer.get(), xcb_get_selection_owner(peer.get(), peer.atom(selection)), nullptr));
  return reply && reply->owner == peer.window();
}

// Reads and deletes a property of peer's window.
std::string takeProperty(XConnection& peer, xcb_atom_t property) {
  XReply<xcb_get_property_reply_t> reply(
      xcb_get_property_reply(peer.get(),
                             xcb_get_property(peer.get(), 1, peer.window(), property,
                                              XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 20),
                             nullptr));
  if (!reply) return {};
  return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                     xcb_get_property_value_length(reply.get()));
}

// Asks for the CLIPBOARD as target into property; the property the owner
// answers with, None when it refused, 0 when it never answered.
xcb_atom_t convert(XConnection& peer, xcb_atom_t target, xcb_atom_t property,
                   xcb_timestamp_t time = XCB_CURRENT_TIME) {
  xcb_convert_selection(peer.get(), peer.window(), peer.atom("CLIPBOARD"), target, property, time);
  XEvent e = nextEvent(peer, XCB_SELECTION_NOTIFY);
  return e ? reinterpret_cast<const xcb_selection_notify_event_t&>(*e).property : 0;
}

class XClipboardTest : public XServerTest {
 protected:
  void SetUp() override {
    XServerTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    // A short bound keeps the read of a silent owner quick.
    clipboard_ = std::make_unique<XClipboard>(*x_, std::chrono::milliseconds(300));
    x_->addEventHandler([this](const xcb_generic_event_t& e) {
      if (typeOf(e) == XCB_SELECTION_CLEAR) ++clears_;
    });
  }

  std::unique_ptr<XClipboard> clipboard_;
  int clears_ = 0;
};

TEST_F(XClipboardTest, ServesManyReadersAtOnceAndStringOnlyForLatin1Text) {
  const std::string big = bigText(20 << 20);
  clipboard_->setString(big);
  for (const auto& reader : readWhileServing(*x_, {"UTF8_STRING", "UTF8_STRING", "TEXT"})) {
    EXPECT_EQ(reader.status, 0);
    EXPECT_TRUE(reader.out == big) << "read " << reader.out.size() << " bytes";
  }

  clipboard_->setString(vietnamese);
  auto read = readWhileServing(*x_, {"TARGETS", "STRING", "text/plain;charset=utf-8"});
  for (const char* name : {"TARGETS", "UTF8_STRING", "text/plain;charset=utf-8", "TEXT"}) {
    EXPECT_NE(read[0].out.find(std::string(name) + "\n"), std::string::npos) << name;
  }
  EXPECT_EQ(read[0].out.find("STRING\n"), read[0].out.find("UTF8_STRING\n") + 5)
      << "STRING is offered only for Latin-1 text:\n"
      << read[0].out;
  EXPECT_NE(read[1].status, 0);
  EXPECT_EQ(read[1].out, "");
  EXPECT_EQ(read[2].out, vietnamese);

  clipboard_->setString("café\n");
  EXPECT_EQ(readWhileServing(*x_, {"STRING"})[0].out, "caf\xe9\n");
}

TEST_F(XClipboardTest, FinishesATransferUnderWayAfterLosingTheClipboard) {
  const std::string big = bigText(8 << 20);
  clipboard_->setString(big);
  auto thief = connect();
  bool stolen = false;
  // Once the reader has taken the first chunk, another client takes the
  // CLIPBOARD.
  x_->addEventHandler([&](const xcb_generic_event_t& e) {
    if (!stolen && typeOf(e) == XCB_PROPERTY_NOTIFY &&
        reinterpret_cast<const xcb_property_notify_event_t&>(e).window != x_->window()) {
      stolen = own(*thief, "CLIPBOARD");
    }
  });
  const int before = clears_;
  auto reader = readWhileServing(*x_, {"UTF8_STRING"})[0];
  EXPECT_EQ(reader.status, 0);
  EXPECT_TRUE(stolen);
  EXPECT_TRUE(reader.out == big) << "read " << reader.out.size() << " bytes";
  ASSERT_TRUE(serveUntil(*x_, [&] { return clears_ > before; }));
  // The thief never answers: the old text must not be served from memory.
  EXPECT_EQ(clipboard_->readText(), std::nullopt);
}

TEST_F(XClipboardTest, AnswersMultipleAndRefusesRequestsFromBeforeItOwned) {
  clipboard_->setString(vietnamese);
  auto peer = connect();
  const xcb_atom_t utf8 = peer->atom("UTF8_STRING"), png = peer->atom("image/png");
  const xcb_atom_t into = peer->atom("INTO"), list = peer->atom("LIST");
  std::vector<uint32_t> pairs{utf8, into, png, peer->atom("IMAGE")};
  xcb_atom_t multipleAnswer = 0, staleAnswer = 0;
  std::string text;
  whileServing(*x_, {[&] {
    xcb_change_property(peer->get(), XCB_PROP_MODE_REPLACE, peer->window(), list,
                        peer->atom("ATOM_PAIR"), 32, pairs.size(), pairs.data());
    multipleAnswer = convert(*peer, peer->atom("MULTIPLE"), list);
    text = takeProperty(*peer, into);
    pairs = itemsFromBytes(takeProperty(*peer, list));
    // Time 1 is long before the agent took the CLIPBOARD.
    staleAnswer = convert(*peer, utf8, into, 1);
  }});
  EXPECT_EQ(multipleAnswer, list);
  EXPECT_EQ(text, vietnamese);
  EXPECT_EQ(pairs, (std::vector<uint32_t>{utf8, into, png, XCB_ATOM_NONE}));
  EXPECT_EQ(staleAnswer, XCB_ATOM_NONE);
}

TEST_F(XClipboardTest, DropsATransferWhenTheRequestorGoes) {
  clipboard_->setString(bigText(4 << 20));
  auto peer = connect();
  whileServing(*x_, {[&] { convert(*peer, peer->atom("UTF8_STRING"), peer->atom("INTO")); }});
  EXPECT_EQ(clipboard_->transfersUnderWay(), 1u);
  peer.reset();  // its window goes with its connection, the INCR half done
  EXPECT_TRUE(serveUntil(*x_, [&] { return clipboard_->transfersUnderWay() == 0; }));
}

}  // namespace
