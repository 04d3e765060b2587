/* The least an X11 agent can do, which scripts/bench measures the agent against:
 *   floor --cli PATH [--node EXECUTABLE]    (--node as the agent reads it)
 * It says "ready" on standard output once its keys are grabbed.
 * On ctrl+alt+b it starts EXECUTABLE PATH clip pull --print at once; on ctrl+alt+c it asks the
 * CLIPBOARD owner once for UTF8_STRING and starts EXECUTABLE PATH clip push --stdin with the
 * answer on a pipe. No checks, no INCR, no threads, no notifications. */
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <xcb/xcb.h>

extern char** environ;

/* The evdev keycodes of the C and B positions, which the agent grabs on a US layout. */
enum { kCopyKey = 54, kPasteKey = 56 };

static xcb_atom_t atom(xcb_connection_t* c, const char* name) {
  xcb_intern_atom_reply_t* r =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, (uint16_t)strlen(name), name), NULL);
  return r->atom;
}

static void start(char** argv, const void* text, size_t length) {
  int fds[2] = {-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (text && pipe(fds) == 0) {
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
  }
  pid_t pid;
  posix_spawn(&pid, argv[0], &actions, NULL, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (fds[0] < 0) return;
  close(fds[0]);
  write(fds[1], text, length);
  close(fds[1]);
}

int main(int argc, char** argv) {
  char* node = "/usr/bin/env";
  char* cli = "";
  for (int i = 1; i + 1 < argc; i += 2) {
    if (strcmp(argv[i], "--node") == 0) node = argv[i + 1];
    if (strcmp(argv[i], "--cli") == 0) cli = argv[i + 1];
  }
  char* push[] = {node, cli, "clip", "push", "--stdin", NULL};
  char* pull[] = {node, cli, "clip", "pull", "--print", NULL};
  signal(SIGPIPE, SIG_IGN);
  signal(SIGCHLD, SIG_IGN); /* reaps the tools */
  xcb_connection_t* c = xcb_connect(NULL, NULL);
  xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  xcb_window_t window = xcb_generate_id(c);
  xcb_create_window(c, 0, window, root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, 0, 0, NULL);
  const xcb_atom_t clipboard = atom(c, "CLIPBOARD"), utf8 = atom(c, "UTF8_STRING");
  const uint16_t locks[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                            XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
  for (int i = 0; i < 8; ++i)
    xcb_grab_key(c, 1, root, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | locks[i % 4],
                 i < 4 ? kCopyKey : kPasteKey, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
  free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), NULL)); /* the grabs are in */
  write(STDOUT_FILENO, "ready\n", 6);
  for (xcb_generic_event_t* e; (e = xcb_wait_for_event(c)); free(e)) {
    const xcb_key_press_event_t* press = (const xcb_key_press_event_t*)e;
    if ((e->response_type & 0x7f) != XCB_KEY_PRESS) continue;
    if (press->detail == kPasteKey) start(pull, NULL, 0);
    if (press->detail != kCopyKey) continue;
    xcb_convert_selection(c, window, clipboard, utf8, utf8, press->time);
    xcb_flush(c);
    xcb_generic_event_t* n;
    while ((n = xcb_wait_for_event(c)) && (n->response_type & 0x7f) != XCB_SELECTION_NOTIFY)
      free(n);
    free(n);
    xcb_get_property_reply_t* p = xcb_get_property_reply(
        c, xcb_get_property(c, 1, window, utf8, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 24), NULL);
    start(push, xcb_get_property_value(p), (size_t)xcb_get_property_value_length(p));
    free(p);
  }
  return 0;
}
