#include "platform/linux/x_clipboard.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "platform/linux/x_selection_data.h"
#include "platform/posix/child_process.h"
#include "platform/posix/unique_fd.h"
#include "x_test_server.h"

namespace {

using std::chrono::steady_clock;
using Step = SelectionTextAssembler::Step;

constexpr auto eventLimit = std::chrono::seconds(30);
const std::string vietnamese = "Tiếng Việt có dấu: Mục tiêu đã bị khoá\n";

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
      {vietnamese, std::nullopt},
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

TEST(SelectionData, AssemblesTextWholeOrInChunks) {
  const auto atoms = fakeAtoms();
  SelectionTextAssembler whole(atoms, 1 << 20);
  ASSERT_EQ(whole.first(prop(atoms.utf8String, vietnamese)), Step::done);
  EXPECT_EQ(whole.take(), vietnamese);

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

// ---- Against a real X server --------------------------------------------

uint8_t typeOf(const xcb_generic_event_t& e) {
  return e.response_type & 0x7f;
}

// A text that is not the same every few kilobytes, so a misplaced chunk shows.
std::string bigText(size_t size) {
  std::string text;
  text.reserve(size + 64);
  for (size_t line = 0; text.size() < size; ++line) {
    text += "dòng " + std::to_string(line) + " — Tiếng Việt\n";
  }
  text.resize(size);
  return text;
}

// Dispatches the agent connection's events until done() holds, waking on X
// events and on the given descriptors; false if the limit passes first.
bool serveUntil(XConnection& x, const std::function<bool()>& done, std::vector<int> fds = {}) {
  const auto deadline = steady_clock::now() + eventLimit;
  fds.push_back(xcb_get_file_descriptor(x.get()));
  for (;;) {
    x.dispatchPending();
    xcb_flush(x.get());
    if (done()) return true;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - steady_clock::now());
    if (left.count() <= 0) return false;
    std::vector<pollfd> polled;
    for (int fd : fds) polled.push_back({fd, POLLIN, 0});
    ::poll(polled.data(), polled.size(), static_cast<int>(left.count()));
  }
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
  EXPECT_TRUE(serveUntil(x,
                         [&] {
                           uint64_t count;
                           [[maybe_unused]] auto n = ::read(done.get(), &count, sizeof count);
                           return finished == parts.size();
                         },
                         {done.get()}));
  for (auto& t : threads) t.join();
}

// Reads the CLIPBOARD with xclip, one reader per target, all at once.
std::vector<ChildResult> readWhileServing(XConnection& x, const std::vector<std::string>& targets) {
  std::vector<ChildResult> results(targets.size());
  std::vector<std::function<void()>> readers;
  for (size_t i = 0; i < targets.size(); ++i) {
    readers.push_back([&, i] {
      results[i] =
          runChild("/usr/bin/xclip", {"xclip", "-selection", "clipboard", "-o", "-t", targets[i]},
                   std::nullopt);
    });
  }
  whileServing(x, readers);
  return results;
}

// Another client on the same display, with its own connection and window.
class Peer {
 public:
  Peer() : conn_(xcb_connect(nullptr, nullptr)) {
    const xcb_setup_t* setup = xcb_get_setup(conn_);
    window_ = xcb_generate_id(conn_);
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(conn_, XCB_COPY_FROM_PARENT, window_,
                      xcb_setup_roots_iterator(setup).data->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
  }
  ~Peer() { xcb_disconnect(conn_); }

  xcb_connection_t* get() const { return conn_; }
  xcb_window_t window() const { return window_; }

  xcb_atom_t atom(const std::string& name) {
    XReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        conn_, xcb_intern_atom(conn_, 0, name.size(), name.c_str()), nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  }

  // Takes the selection; true once the server confirms it.
  bool own(const std::string& selection) {
    const xcb_atom_t a = atom(selection);
    xcb_set_selection_owner(conn_, window_, a, XCB_CURRENT_TIME);
    XReply<xcb_get_selection_owner_reply_t> reply(
        xcb_get_selection_owner_reply(conn_, xcb_get_selection_owner(conn_, a), nullptr));
    return reply && reply->owner == window_;
  }

  XEvent waitFor(uint8_t type) {
    const auto deadline = steady_clock::now() + eventLimit;
    for (;;) {
      xcb_flush(conn_);
      XEvent e(xcb_poll_for_event(conn_));
      if (e && typeOf(*e) == type) return e;
      if (e) continue;
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - steady_clock::now());
      if (left.count() <= 0 || xcb_connection_has_error(conn_)) return nullptr;
      pollfd p{xcb_get_file_descriptor(conn_), POLLIN, 0};
      ::poll(&p, 1, static_cast<int>(left.count()));
    }
  }

  std::string property(xcb_window_t window, xcb_atom_t property) {
    XReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        conn_, xcb_get_property(conn_, 1, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 20),
        nullptr));
    if (!reply) return {};
    return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                       xcb_get_property_value_length(reply.get()));
  }

  void notify(const xcb_selection_request_event_t& request, xcb_atom_t property) {
    xcb_selection_notify_event_t n{};
    n.response_type = XCB_SELECTION_NOTIFY;
    n.time = request.time;
    n.requestor = request.requestor;
    n.selection = request.selection;
    n.target = request.target;
    n.property = property;
    char wire[32] = {};
    std::memcpy(wire, &n, sizeof n);
    xcb_send_event(conn_, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, wire);
    xcb_flush(conn_);
  }

 private:
  xcb_connection_t* conn_;
  xcb_window_t window_;
};

class XClipboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string whyNot;
    server_ = XTestServer::start(&whyNot);
    if (!server_) GTEST_SKIP() << whyNot;
    std::string error;
    x_ = XConnection::open(&error);
    ASSERT_TRUE(x_) << error;
    // A short bound keeps the tests of silent owners quick.
    clipboard_ = std::make_unique<XClipboard>(*x_, std::chrono::milliseconds(300));
    x_->addEventHandler([this](const xcb_generic_event_t& e) {
      if (typeOf(e) == XCB_SELECTION_CLEAR) ++clears_;
    });
  }
  std::unique_ptr<XTestServer> server_;
  std::unique_ptr<XConnection> x_;
  std::unique_ptr<XClipboard> clipboard_;
  int clears_ = 0;
};

TEST_F(XClipboardTest, GivesUpOnOwnersThatNeverAnswerOrStopHalfWay) {
  Peer silent;
  ASSERT_TRUE(silent.own("CLIPBOARD"));
  EXPECT_EQ(clipboard_->readText(), std::nullopt);

  Peer owner;
  ASSERT_TRUE(owner.own("CLIPBOARD"));
  std::thread halfway([&] {
    XEvent e = owner.waitFor(XCB_SELECTION_REQUEST);
    if (!e) return;
    const auto request = reinterpret_cast<const xcb_selection_request_event_t&>(*e);
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(owner.get(), request.requestor, XCB_CW_EVENT_MASK, &mask);
    const uint32_t size = 1000;
    xcb_change_property(owner.get(), XCB_PROP_MODE_REPLACE, request.requestor, request.property,
                        owner.atom("INCR"), 32, 1, &size);
    owner.notify(request, request.property);
    for (XEvent p; (p = owner.waitFor(XCB_PROPERTY_NOTIFY));) {
      if (reinterpret_cast<const xcb_property_notify_event_t&>(*p).state == XCB_PROPERTY_DELETE) {
        break;
      }
    }
    xcb_change_property(owner.get(), XCB_PROP_MODE_REPLACE, request.requestor, request.property,
                        owner.atom("UTF8_STRING"), 8, 5, "first");
    xcb_flush(owner.get());
  });
  EXPECT_EQ(clipboard_->readText(), std::nullopt);
  halfway.join();
}

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
  Peer thief;
  bool stolen = false;
  // Once the reader has taken the first chunk, another client takes the
  // CLIPBOARD.
  x_->addEventHandler([&](const xcb_generic_event_t& e) {
    if (!stolen && typeOf(e) == XCB_PROPERTY_NOTIFY &&
        reinterpret_cast<const xcb_property_notify_event_t&>(e).window != x_->window()) {
      stolen = thief.own("CLIPBOARD");
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
  Peer peer;
  const xcb_atom_t utf8 = peer.atom("UTF8_STRING"), png = peer.atom("image/png");
  const xcb_atom_t into = peer.atom("INTO"), image = peer.atom("IMAGE"), list = peer.atom("LIST");
  xcb_atom_t multipleAnswer = 0, staleAnswer = 0;
  std::string text;
  std::vector<uint32_t> pairs{utf8, into, png, image};
  whileServing(*x_, {[&] {
    xcb_change_property(peer.get(), XCB_PROP_MODE_REPLACE, peer.window(), list,
                        peer.atom("ATOM_PAIR"), 32, pairs.size(), pairs.data());
    xcb_convert_selection(peer.get(), peer.window(), peer.atom("CLIPBOARD"), peer.atom("MULTIPLE"),
                          list, XCB_CURRENT_TIME);
    if (XEvent e = peer.waitFor(XCB_SELECTION_NOTIFY)) {
      multipleAnswer = reinterpret_cast<const xcb_selection_notify_event_t&>(*e).property;
    }
    text = peer.property(peer.window(), into);
    pairs = itemsFromBytes(peer.property(peer.window(), list));
    // Time 1 is long before the agent took the CLIPBOARD.
    xcb_convert_selection(peer.get(), peer.window(), peer.atom("CLIPBOARD"), utf8, into, 1);
    if (XEvent e = peer.waitFor(XCB_SELECTION_NOTIFY)) {
      staleAnswer = reinterpret_cast<const xcb_selection_notify_event_t&>(*e).property;
    }
  }});
  EXPECT_EQ(multipleAnswer, list);
  EXPECT_EQ(text, vietnamese);
  EXPECT_EQ(pairs, (std::vector<uint32_t>{utf8, into, png, XCB_ATOM_NONE}));
  EXPECT_EQ(staleAnswer, XCB_ATOM_NONE);
}

TEST_F(XClipboardTest, DropsATransferWhenTheRequestorGoes) {
  clipboard_->setString(bigText(4 << 20));
  auto peer = std::make_unique<Peer>();
  whileServing(*x_, {[&] {
    xcb_convert_selection(peer->get(), peer->window(), peer->atom("CLIPBOARD"),
                          peer->atom("UTF8_STRING"), peer->atom("INTO"), XCB_CURRENT_TIME);
    peer->waitFor(XCB_SELECTION_NOTIFY);
  }});
  EXPECT_EQ(clipboard_->transfersUnderWay(), 1u);
  peer.reset();  // its window goes with its connection, the INCR half done
  EXPECT_TRUE(serveUntil(*x_, [&] { return clipboard_->transfersUnderWay() == 0; }));
}

TEST_F(XClipboardTest, HandsItsTextToAClipboardManager) {
  EXPECT_FALSE(clipboard_->handOffToManager(std::chrono::seconds(5))) << "owns nothing";
  clipboard_->setString(vietnamese);
  EXPECT_FALSE(clipboard_->handOffToManager(std::chrono::seconds(5))) << "no manager";

  Peer manager;
  ASSERT_TRUE(manager.own("CLIPBOARD_MANAGER"));
  std::string saved;
  // A manager as the clipboard manager convention has it: on SAVE_TARGETS
  // it converts the CLIPBOARD, keeps the text and confirms.
  std::thread running([&] {
    XEvent e = manager.waitFor(XCB_SELECTION_REQUEST);
    if (!e) return;
    const auto request = reinterpret_cast<const xcb_selection_request_event_t&>(*e);
    if (request.target != manager.atom("SAVE_TARGETS")) return manager.notify(request, 0);
    const xcb_atom_t into = manager.atom("SAVED");
    xcb_convert_selection(manager.get(), manager.window(), manager.atom("CLIPBOARD"),
                          manager.atom("UTF8_STRING"), into, request.time);
    XEvent answer = manager.waitFor(XCB_SELECTION_NOTIFY);
    if (answer) saved = manager.property(manager.window(), into);
    manager.notify(request, request.property);
  });
  EXPECT_TRUE(clipboard_->handOffToManager(std::chrono::seconds(10)));
  running.join();
  EXPECT_EQ(saved, vietnamese);
}

}  // namespace
