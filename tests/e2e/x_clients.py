"""Other X clients: `x_clients.py MODE [FILE]` takes its selection, prints "ready", then acts as
MODE says: silent never answers; strict answers only what is asked after it took the CLIPBOARD,
as ICCCM lets owners do; incr-stall and incr-die send one INCR chunk, then go quiet or exit;
manager saves the CLIPBOARD into FILE when asked to SAVE_TARGETS. multiple asks the owner for
two targets at once, then for one at time 1, and prints if both came, the text, if it refused."""

import sys

from Xlib import X, Xatom, display
from Xlib.protocol import event

d = display.Display()
atom = d.intern_atom
w = d.screen().root.create_window(0, 0, 1, 1, 0, 0, event_mask=X.PropertyChangeMask)
mode = sys.argv[1]


def next_event(kind, match=lambda e: True):
    while (e := d.next_event()).type != kind or not match(e):
        pass
    return e


def answer(request, prop):
    request.requestor.send_event(event.SelectionNotify(
        time=request.time, requestor=request.requestor, selection=request.selection,
        target=request.target, property=prop))
    d.flush()


def take(prop):
    value = w.get_full_property(prop, X.AnyPropertyType)
    w.delete_property(prop)
    return value


if mode == "multiple":
    pairs = [atom("UTF8_STRING"), atom("INTO"), atom("image/png"), atom("IMAGE")]
    w.change_property(atom("LIST"), atom("ATOM_PAIR"), 32, pairs)
    w.convert_selection(atom("CLIPBOARD"), atom("MULTIPLE"), atom("LIST"), X.CurrentTime)
    got = next_event(X.SelectionNotify).property == atom("LIST")
    got = got and list(take(atom("LIST")).value) == pairs[:3] + [X.NONE]
    text = take(atom("INTO")).value
    w.convert_selection(atom("CLIPBOARD"), atom("UTF8_STRING"), atom("INTO"), 1)
    stale = next_event(X.SelectionNotify).property == X.NONE
    sys.stdout.buffer.write(b"%s %s %s\n" % (str(got).encode(), text, str(stale).encode()))
    sys.exit()
selection = atom("CLIPBOARD_MANAGER" if mode == "manager" else "CLIPBOARD")
w.change_property(atom("STAMP"), Xatom.STRING, 8, b"")
owned = next_event(X.PropertyNotify).time
w.set_selection_owner(selection, owned)
assert d.get_selection_owner(selection) == w
print("ready", flush=True)
request = next_event(X.SelectionRequest)
while mode == "strict":
    fresh = request.time != X.CurrentTime and request.time >= owned
    if fresh:
        request.requestor.change_property(request.property, request.target, 8, b"strict owner")
    answer(request, request.property if fresh else X.NONE)
    request = next_event(X.SelectionRequest)
if mode.startswith("incr"):
    peer = request.requestor
    peer.change_attributes(event_mask=X.PropertyChangeMask)
    peer.change_property(request.property, atom("INCR"), 32, [1 << 20])
    answer(request, request.property)
    next_event(X.PropertyNotify, lambda e: e.window == peer and e.state == X.PropertyDelete)
    peer.change_property(request.property, atom("UTF8_STRING"), 8, b"first chunk")
    d.flush()
if mode == "manager":
    w.convert_selection(atom("CLIPBOARD"), atom("UTF8_STRING"), atom("SAVED"), request.time)
    next_event(X.SelectionNotify)
    text, incr = take(atom("SAVED")), atom("INCR")
    text, chunk = (b"", b"-") if text.property_type == incr else (text.value, b"")
    while chunk:  # INCR: the chunks come as the property is deleted, the last one empty
        next_event(X.PropertyNotify, lambda e: e.state == X.PropertyNewValue)
        text += (chunk := take(atom("SAVED")).value)
    open(sys.argv[2], "wb").write(text)
    answer(request, request.property)
elif mode != "incr-die":
    next_event(-1)
