#include "platform/linux/x_clipboard.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/linux/x_selection_data.h"
#include "platform/posix/unique_fd.h"
#include "x_test_server.h"

extern char** environ;

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

// A tool started with its output on a pipe, read while the test serves X.
struct Tool {
  pid_t pid = -1;
  UniqueFd out;
  std::string output;
  bool ended = false;
};

Tool startTool(const std::vector<std::string>& argv, const std::string& inputPath = "/dev/null") {
  int fds[2];
  EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  Tool tool;
  tool.out.reset(fds[0]);
  // Only our end: the tool's writes must block, not fail, when the pipe is full.
  ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
  UniqueFd writeEnd(fds[1]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, inputPath.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  EXPECT_EQ(posix_spawnp(&tool.pid, args[0], &actions, nullptr, args.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  return tool;
}

// Reads what the tool has written so far; true once its output has ended.
bool drain(Tool& tool) {
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(tool.out.get(), buffer, sizeof buffer);
    if (n > 0) {
      tool.output.append(buffer, static_cast<size_t>(n));
    } else if (n == 0) {
      return tool.ended = true;
    } else {
      return errno != EAGAIN && errno != EINTR && (tool.ended = true);
    }
  }
}

int finish(Tool& tool, bool stop = false) {
  if (stop) ::kill(tool.pid, SIGTERM);
  int status = 0;
  ::waitpid(tool.pid, &status, 0);
  tool.pid = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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

// Runs readers of the CLIPBOARD while the agent serves them; their outputs.
std::vector<Tool> readWhileServing(XConnection& x, int readers, const std::string& target) {
  std::vector<Tool> tools;
  for (int i = 0; i < readers; ++i) {
    tools.push_back(startTool({"xclip", "-selection", "clipboard", "-o", "-t", target}));
  }
  std::vector<int> fds;
  for (auto& t : tools) fds.push_back(t.out.get());
  EXPECT_TRUE(serveUntil(
      x,
      [&] {
        bool all = true;
        for (auto& t : tools) all = (t.ended || drain(t)) && all;
        return all;
      },
      fds));
  return tools;
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
    if (!haveTool("xclip")) GTEST_SKIP() << "xclip is not installed";
    std::string error;
    x_ = XConnection::open(&error);
    ASSERT_TRUE(x_) << error;
    // A short bound keeps the tests of silent owners quick.
    clipboard_ = std::make_unique<XClipboard>(*x_, std::chrono::milliseconds(300));
    x_->addEventHandler([this](const xcb_generic_event_t& e) {
      if (typeOf(e) == XCB_SELECTION_CLEAR) ++clears_;
    });
  }
  void TearDown() override {
    for (auto& t : owners_) finish(t, true);
  }

  // Puts the text on the CLIPBOARD through xclip, and returns once xclip
  // owns it: the agent held it first and has been told it lost it.
  void xclipOwns(const std::string& text, const std::string& target = "UTF8_STRING") {
    const auto path = std::filesystem::path(::testing::TempDir()) / "clip-input";
    std::ofstream(path, std::ios::binary) << text;
    clipboard_->setString("placeholder");
    const int before = clears_;
    owners_.push_back(startTool(
        {"xclip", "-selection", "clipboard", "-quiet", "-t", target, "-i", path.string()}));
    ASSERT_TRUE(serveUntil(*x_, [&] { return clears_ > before; }));
  }

  std::unique_ptr<XTestServer> server_;
  std::unique_ptr<XConnection> x_;
  std::unique_ptr<XClipboard> clipboard_;
  std::vector<Tool> owners_;
  int clears_ = 0;
};

TEST_F(XClipboardTest, ReadsOtherOwnersTextByteForByte) {
  const std::string texts[] = {vietnamese, "\n", "   ", bigText(20 << 20)};
  for (const auto& text : texts) {
    xclipOwns(text);
    auto read = clipboard_->readText();
    ASSERT_TRUE(read) << text.size();
    EXPECT_TRUE(*read == text) << "read " << read->size() << " of " << text.size() << " bytes";
  }
  xclipOwns("caf\xe9", "STRING");
  EXPECT_EQ(clipboard_->readText(), "café");
}

TEST_F(XClipboardTest, ReadsNoTextWhenThereIsNone) {
  EXPECT_EQ(clipboard_->readText(), std::nullopt) << "no owner";
  xclipOwns("\x89PNG\r\n\x1a\n", "image/png");
  EXPECT_EQ(clipboard_->readText(), std::nullopt) << "image only";
  Peer silent;
  ASSERT_TRUE(silent.own("CLIPBOARD"));
  EXPECT_EQ(clipboard_->readText(), std::nullopt) << "owner never answers";
}

TEST_F(XClipboardTest, GivesUpOnAnOwnerThatStopsHalfWay) {
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

TEST_F(XClipboardTest, ServesItsTextToManyReadersAtOnce) {
  const std::string big = bigText(20 << 20);
  clipboard_->setString(big);
  EXPECT_EQ(clipboard_->readText(), big) << "read back from memory";
  for (auto& reader : readWhileServing(*x_, 3, "UTF8_STRING")) {
    EXPECT_EQ(finish(reader), 0);
    EXPECT_TRUE(reader.output == big) << "read " << reader.output.size() << " bytes";
  }

  clipboard_->clearContents();
  clipboard_->setString(vietnamese);
  auto targets = readWhileServing(*x_, 1, "TARGETS");
  finish(targets[0]);
  for (const char* name : {"TARGETS", "UTF8_STRING", "text/plain;charset=utf-8", "TEXT"}) {
    EXPECT_NE(targets[0].output.find(std::string(name) + "\n"), std::string::npos) << name;
  }
  EXPECT_EQ(targets[0].output.find("STRING\n"), targets[0].output.find("UTF8_STRING\n") + 5)
      << "STRING is offered only for Latin-1 text:\n"
      << targets[0].output;
  auto string = readWhileServing(*x_, 1, "STRING");
  EXPECT_NE(finish(string[0]), 0);
  EXPECT_EQ(string[0].output, "");
  auto mime = readWhileServing(*x_, 1, "text/plain;charset=utf-8");
  finish(mime[0]);
  EXPECT_EQ(mime[0].output, vietnamese);

  clipboard_->setString("café\n");
  auto latin = readWhileServing(*x_, 1, "STRING");
  finish(latin[0]);
  EXPECT_EQ(latin[0].output, "caf\xe9\n");
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
  auto readers = readWhileServing(*x_, 1, "UTF8_STRING");
  EXPECT_EQ(finish(readers[0]), 0);
  EXPECT_TRUE(stolen);
  EXPECT_TRUE(readers[0].output == big) << "read " << readers[0].output.size() << " bytes";
  ASSERT_TRUE(serveUntil(*x_, [&] { return clears_ > before; }));
  // The thief never answers: the old text must not be served from memory.
  EXPECT_EQ(clipboard_->readText(), std::nullopt);
}

// Runs a peer's part on its own thread while the agent serves it.
void whileServing(XConnection& x, const std::function<void()>& peerPart) {
  UniqueFd done(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  std::atomic<bool> finished = false;
  std::thread peer([&] {
    peerPart();
    finished = true;
    const uint64_t one = 1;
    EXPECT_EQ(::write(done.get(), &one, sizeof one), static_cast<ssize_t>(sizeof one));
  });
  EXPECT_TRUE(serveUntil(x, [&] { return finished.load(); }, {done.get()}));
  peer.join();
}

TEST_F(XClipboardTest, AnswersMultipleAndRefusesRequestsFromBeforeItOwned) {
  clipboard_->setString(vietnamese);
  Peer peer;
  const xcb_atom_t utf8 = peer.atom("UTF8_STRING"), png = peer.atom("image/png");
  const xcb_atom_t into = peer.atom("INTO"), image = peer.atom("IMAGE"), list = peer.atom("LIST");
  xcb_atom_t multipleAnswer = 0, staleAnswer = 0;
  std::string text;
  std::vector<uint32_t> pairs{utf8, into, png, image};
  whileServing(*x_, [&] {
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
  });
  EXPECT_EQ(multipleAnswer, list);
  EXPECT_EQ(text, vietnamese);
  EXPECT_EQ(pairs, (std::vector<uint32_t>{utf8, into, png, XCB_ATOM_NONE}));
  EXPECT_EQ(staleAnswer, XCB_ATOM_NONE);
}

TEST_F(XClipboardTest, DropsATransferWhenTheRequestorGoes) {
  clipboard_->setString(bigText(4 << 20));
  auto peer = std::make_unique<Peer>();
  whileServing(*x_, [&] {
    xcb_convert_selection(peer->get(), peer->window(), peer->atom("CLIPBOARD"),
                          peer->atom("UTF8_STRING"), peer->atom("INTO"), XCB_CURRENT_TIME);
    peer->waitFor(XCB_SELECTION_NOTIFY);
  });
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
