#!/usr/bin/env python3
"""Writes the starting corpus of each fuzz target into fuzz/corpus/<target>/.

Each seed is a small script in the target's own input format (see the
comment at the top of each target), chosen to reach the interesting paths
at once: limit-table hits and near misses, colliding keys, late-bound calls
of every member. Run it again after changing an input format.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(bytes(data))


def units(text):
    return list(text.encode("utf-16-le"))


# ---- fuzz_server_strings: flags, component, parent, attachment ----

def plain(text):
    return [len(text)] + units(text)


def row(index, edit=0, at=0, unit=0):
    return [index, edit, at] + list(struct.pack("<H", unit))


S = "fuzz_server_strings"
write(S, "row1_exact_invoke", [0x08 | 0x20] + row(0) + plain("") + plain(""))
write(S, "row81_exact_true_in", [0x08 | 0x10 | 0x20] + row(80) + plain("{E2657B80-7F5B-11d2-BF88-00C04F79999C}") + plain("x"))
write(S, "row6_case_flipped", [0x08] + row(5, edit=4, at=30) + plain("") + plain(""))
write(S, "row24_unit_inserted", [0x08 | 0x20] + row(23, edit=3, at=38, unit=0x20) + plain("") + plain(""))
write(S, "catalogue3_no_row", [0x20] + plain("{852452C1-575C-11d2-8520-00C04FCCA0C7}") + plain("") + plain(""))
write(S, "null_and_odd_units", [0x01 | 0x02 | 0x20, 3, 0x00, 0xD8, 0, 0, 0x41, 0, 2, 0x00, 0xDC, 0x00, 0xD8, 0])

# ---- fuzz_collection: op byte (below 10), then the op's choices ----
# some_text: shape (length = shape % 4, or 8 + (shape >> 2) % 16 with bit 7),
# then one alphabet index per unit.
# text_or_number: the text or number, then the form (0 value, 1 reference,
# 2 variant reference).
# some_argument: kind (below 12): 0 null, 1 empty, 2 omitted, 3 by-ref
# variant to empty/omitted, 4 by-ref omitted error, 5 null value, 6 another
# error, 7 real (or text), 8-9 text, 10-11 number.

A = {c: i for i, c in enumerate("aAbB5-")}


def ctext(letters, long_form=False):
    idx = [A[c] if isinstance(c, str) else c for c in letters]
    if long_form:
        assert 8 <= len(idx) < 24
        return [0x80 | ((len(idx) - 8) << 2)] + idx
    assert len(idx) < 4
    return [len(idx)] + idx


def text_arg(letters, form=0, long_form=False):
    return [8] + ctext(letters, long_form) + [form]


def number_arg(n, form=0):
    return [10, (n + 2) % 16, form]


def add(item, key, placement=0, before=(), after=()):
    # item: ('text', letters) / ('number', n) / ('empty',)
    if item[0] == "empty":
        out = [0, 0]
    elif item[0] == "text":
        out = [0, 1] + ctext(item[1]) + [0]
    else:
        out = [0, 2, (item[1] + 2) % 16, 0]
    return out + key + [placement] + list(before) + list(after)


def item(arg):
    return [3] + arg


def remove(arg):
    return [5] + arg


COUNT = [6]


def enumerate_all(chunk=1):
    return [7, chunk - 1]


def walk(action, n=0):
    # 0 Next(n), 1 Skip(n), 2 Reset, 3 Clone
    return [8, action, n] if action in (0, 1) else [8, action]


C = "fuzz_collection"
write(C, "keys_fold_case",
      add(("text", "a"), text_arg("aB")) + add(("text", "b"), text_arg("Ab")) +  # duplicate: aB ~ Ab
      item(text_arg("AB")) + item(text_arg("ab", form=1)) + COUNT + enumerate_all(2))
write(C, "number_and_text_keys",
      add(("number", 5), number_arg(5)) + add(("text", "b"), text_arg("5")) +  # duplicate: 5 ~ "5"
      item(text_arg("5", form=2)) + item(number_arg(1)) + item(number_arg(0)) + remove(text_arg("5")) + COUNT)
write(C, "before_after_positions",
      add(("text", "a"), [1]) + add(("text", "b"), [2], placement=1, before=number_arg(1)) +
      add(("text", "B"), [0], placement=2, after=text_arg("5")) +
      add(("empty",), [5], placement=3, before=number_arg(1), after=number_arg(2)) +
      item([7, 5]) + item([7, 6]) + enumerate_all(3))
write(C, "walker_through_changes",
      add(("text", "a"), text_arg("a")) + add(("text", "b"), text_arg("b")) + walk(0, 1) +
      add(("text", "A"), [1], placement=1, before=number_arg(1)) + walk(0, 3) + walk(3) +
      remove(number_arg(1)) + walk(1, 2) + walk(2) + walk(0, 3))
write(C, "long_keys_greek_cyrillic",
      add(("text", "a"), text_arg([8, 9, 18, 20, 26, 28, 11, 13, 16], long_form=True)) +
      add(("text", "b"), text_arg([8, 10, 19, 21, 27, 29, 12, 14, 17], long_form=True)) +  # Σ/σ differ from ς
      item(text_arg([9, 9, 19, 21, 27, 29, 12, 13, 17], long_form=True)) + remove([6]) + remove([1]) + COUNT)

# ---- fuzz_late_binding: per call a target (below 3) and a kind byte
# (< 0x20 a name lookup); an invoke: dispid, iid, shape (flags), count,
# arguments (variant kind below 16 ...), extras.

L = "fuzz_late_binding"
IID_NULL_BYTE = 0
NAME_GETMAX = 7  # index in kNames


def bstr_variant(name_index):
    return [5, 0x20, name_index]


def bool_ref_variant(value=0):
    # by reference (kind 10), not null, scalar case 0, scalar index 4 (VT_BOOL), 8 bytes of bits
    return [10, 0x40, 0, 4] + list(struct.pack("<Q", value))


def invoke(target, dispid, flags, args, extras=0x00):
    out = [target, 0x40, dispid + 5, IID_NULL_BYTE, flags, len(args)]
    for a in reversed(args):
        out += a
    return out + [extras]


def lookup(target, names):
    out = [target, 0x00, len(names)]
    for n in names:
        out += [n]
    out += [0x20] * len(names)  # not null
    return out + [IID_NULL_BYTE, 0]


write(L, "server_every_member",
      sum((invoke(1, d, 3, []) for d in (1, 2, 3, 4, 5, 9)), []))
write(L, "server_get_maximum_limit",
      invoke(1, 8, 1, [bstr_variant(NAME_GETMAX), bool_ref_variant()]) +
      invoke(1, 6, 1, [bstr_variant(0), bstr_variant(1)]) + invoke(1, 7, 1, [bstr_variant(2)]))
write(L, "collection_calls",
      invoke(2, 1, 1, [bstr_variant(9), bstr_variant(10)]) + invoke(2, 0, 2, [bstr_variant(10)]) +
      invoke(2, 2, 2, []) + invoke(2, -4, 2, []) + invoke(2, 3, 1, [[2, 5] + [1, 0, 0, 0, 0, 0, 0, 0]]))
write(L, "default_face_and_names",
      invoke(0, 1, 3, []) + lookup(0, [0]) + lookup(1, [7, 3]) + lookup(2, [12]))
write(L, "odd_shapes",
      invoke(1, 8, 1, [[9, 0] + [0] * 8, [1]], extras=0x01) + [1, 1] + invoke(2, 0, 4, [[0]], extras=0x10) +
      invoke(1, 1, 2, [], extras=0x70))
