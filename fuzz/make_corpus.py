#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpus (fuzz/corpus/<target>/) and the identifier
dictionary (fuzz/identifiers.dict) from the cases the unit tests drive, in each target's
input encoding (see the comment at the top of each target). The shipped libraries and their
descriptions come from a configured build tree, build/native unless another is named. Run
from anywhere:
    python3 fuzz/make_corpus.py [BUILD]
"""
import json
import pathlib
import shutil
import struct
import sys

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent
BUILD = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else ROOT / "build" / "native"
# In the build's order, as the fuzz targets load them.
DESCRIPTIONS = [BUILD / "lib" / f"{name}.lum.json"
                for name in json.loads((BUILD / "generated" / "module_libraries.json").read_text())]

EVENT_SET, STREAM_ON, STREAM_OFF, OTHER, GRAPH_START = 100, 101, 102, 103, 104
NAN, INF, NINF, DENORMAL = 0, 1, 2, 3  # special-value numbers of the DSP target


def modules():
    found = []
    for path in DESCRIPTIONS:
        found.extend(json.loads(path.read_text())["modules"])
    return found


MODULES = modules()
DSP = [m for m in MODULES if m["side"] == "dsp"]
GUI = [m for m in MODULES if m["side"] == "gui"]


def i32(v):
    return struct.pack("<i", v)


def u16(v):
    return struct.pack("<H", v & 0xFFFF)


def f32(v):
    return struct.pack("<f", v)


def value_bytes(v, kind):
    raw = {"f": f32, "i": i32, "b": lambda x: bytes([x])}[kind](v)
    return raw.ljust(8, b"\0")


# ---- factory_fuzz: flags, sub-type, capacity, interface identifier, identifier units.
IID_FACTORY = bytes.fromhex("b704799a7f7f614db558c1a6695bb638")


def factory_case(identifier, subtype=0, library=0, null_out=False, null_id=False, offer=0, null_host=False,
                 capacity=32, iid=IID_FACTORY):
    flags = library | (null_out << 1) | (null_id << 2) | (offer << 3) | (null_host << 5)
    sub = bytes([subtype]) if 0 <= subtype < 3 else bytes([0xF0]) + i32(subtype)
    return bytes([flags]) + sub + i32(capacity) + iid + identifier.encode("utf-16-le")


def factory_cases():
    return {
        "gui_side": factory_case("KelMathAddGuiFloat", 1),
        "dsp_side": factory_case("KelMathAddDspFloat", 0),
        "gui_identifier_on_dsp_side": factory_case("KelMathAddGuiFloat", 0),
        "subtype_2": factory_case("KelMathAddDspInt", 2, capacity=8),
        "subtype_minus_1": factory_case("KelMathAddDspInt", -1, capacity=18),
        "letter_case_differs": factory_case("kelmathadddspfloat"),
        "prefix": factory_case("KelMathAdd"),
        "empty": factory_case("", capacity=0),
        "null_identifier_and_out": factory_case("KelMathAbsAudio", null_id=True, null_out=True),
        "host_without_dsp": factory_case("KelMathAbsAudio", offer=2, capacity=-5),
        "null_host": factory_case("KelMathAbsGuiInt", 1, null_host=True, capacity=1),
        "filter": factory_case("QX-DaRovoVIR3", 0, library=1, capacity=18),
        "filter_from_math": factory_case("QX-DaRovoVIR3", 0, library=0),
    }


# ---- dsp_session_fuzz: module, flags, block size, sample rate, operations.
class Dsp:
    def __init__(self, module_id, block_size=64, sample_rate=44100.0, flags=0):
        self.module = next(m for m in DSP if m["id"] == module_id)
        number = DSP.index(self.module)
        self.data = bytes([number, flags]) + i32(block_size) + f32(sample_rate)

    def pin(self, index):
        positions = [p["index"] for p in self.module["pins"]]
        return bytes([positions.index(index)]) if index in positions else bytes([0xFF]) + i32(index)

    def audio_inputs(self):
        return [p for p in self.module["pins"] if p["datatype"] == "audio" and p["direction"] == "in"]

    def fills(self, fill):
        # fill: ("zero",), ("const", x), ("specials",), ("special", n) for every audio input
        out = b""
        for _ in self.audio_inputs():
            kind = fill[0]
            if kind == "keep":
                out += bytes([0])
            elif kind == "zero":
                out += bytes([1])
            elif kind == "const":
                out += bytes([2]) + f32(fill[1])
            elif kind == "specials":
                out += bytes([3])
            elif kind == "special":
                out += bytes([5, fill[1]])
        return out

    def event(self, time, etype, pin=0, value=None, kind="f", pointed=False, size=None):
        if time == "same":
            out = bytes([3])
        elif 0 <= time < 256:
            out = bytes([0, time])
        else:
            out = bytes([1]) + i32(time)
        out += bytes([etype - 100]) if 100 <= etype <= 104 else bytes([0xF0]) + i32(etype)
        out += self.pin(pin)
        if size is None:
            out += bytes([0])
        else:
            out += bytes([7]) + i32(size)
        out += value_bytes(value if value is not None else 0, kind)
        out += bytes([1 if pointed else 0])
        return out

    def block(self, count, events=(), fill=("zero",), loop_to=None):
        # count <= the target's capacity of 512, so the remainder keeps it
        out = bytes([2]) + u16(count) + self.fills(fill) + bytes([len(events)]) + b"".join(events)
        if events:
            out += bytes([0x80 | loop_to]) if loop_to is not None else bytes([0])
        self.data += out
        return self

    def start(self, count, events=(), fill=("zero",)):
        self.data += bytes([7]) + u16(count) + self.fills(fill) + bytes([len(events)]) + b"".join(events)
        self.data += bytes([0])  # no loop
        return self

    def bare(self, count, fill=("zero",)):
        self.data += bytes([4]) + u16(count) + self.fills(fill)
        return self

    def block_size(self, n):
        self.data += bytes([5]) + i32(n)
        return self

    def set_buffer(self, pin, which):
        self.data += bytes([1]) + self.pin(pin) + bytes([which])
        return self


def dsp_cases():
    c = {}
    d = Dsp("KelMathAddDspFloat")
    c["control_values_at_start"] = d.start(32, [d.event(0, EVENT_SET, 0, 1.5), d.event(0, EVENT_SET, 1, 2.0)]).data
    d = Dsp("KelMathAddDspFloat")
    d.start(8)
    c["three_events_at_time_10"] = d.block(32, [d.event(10, EVENT_SET, 0, 1.0), d.event(10, EVENT_SET, 1, 2.0),
                                               d.event(10, OTHER, 0)]).data
    d = Dsp("KelMathSubtractDspInt")
    c["event_at_block_length"] = d.start(4).block(16, [d.event(16, EVENT_SET, 0, 7, "i")]).data
    d = Dsp("KelMathMultiplyDspFloat")
    c["unregistered_pin"] = d.start(4).block(16, [d.event(3, EVENT_SET, 1000, 1.0), d.event(3, EVENT_SET, -1, 1.0)]).data
    d = Dsp("KelMathLimitDspFloat")
    c["pointed_and_inline_values"] = d.start(4).block(16, [d.event(2, EVENT_SET, 0, 3.0, pointed=True),
                                                        d.event(2, EVENT_SET, 2, 1.0)]).data
    d = Dsp("KelMathInvertDspBool")
    c["bool_size_4_integer_2"] = d.start(4).block(16, [d.event(1, EVENT_SET, 0, 2, "i", size=4)]).data
    d = Dsp("KelMathDivideDspInt")
    c["int_min_by_minus_1"] = d.start(4, [d.event(0, EVENT_SET, 0, -2**31, "i"),
                                          d.event(0, EVENT_SET, 1, -1, "i")]).data
    d = Dsp("KelMathFloorDspFloat")
    c["oversized_and_negative_sizes"] = d.start(4).block(8, [d.event(0, EVENT_SET, 0, 2.5, size=4096, pointed=True),
                                                           d.event(1, EVENT_SET, 0, 2.5, size=-4)]).data
    d = Dsp("KelMathMultiplyAudio")
    c["audio_nan_and_infinities"] = d.start(64, fill=("specials",)).block(0).block(64, fill=("special", DENORMAL)).data
    d = Dsp("KelMathDivideAudio")
    c["audio_streams_stop"] = d.start(32, fill=("const", 0.5)).block(
        32, [d.event(5, STREAM_OFF, 0), d.event(5, STREAM_OFF, 1)]).block(32).block(32).data
    d = Dsp("KelMathNearestAudio", block_size=0)
    c["sleep_with_block_size_0"] = d.start(16, fill=("const", 0.25)).block(16, [d.event(0, STREAM_OFF, 0)]).block(16).data
    d = Dsp("KelMathAbsAudio", block_size=-64)
    c["sleep_with_negative_block_size"] = d.start(16).block(16, [d.event(0, STREAM_OFF, 0)]).block(16).data
    d = Dsp("KelMathCeilAudio")
    c["null_buffer"] = d.set_buffer(1, 2).start(16).data
    d = Dsp("KelMathLimitAudio", flags=1)
    c["no_open_no_buffers"] = d.start(16).data
    d = Dsp("KelMathMinDspInt")
    c["looping_event_list"] = d.start(4).block(32, [d.event(3, EVENT_SET, 1, 1, "i"), d.event(2, EVENT_SET, 2, 2, "i")],
                                               loop_to=0).data
    d = Dsp("KelMathMaxAudio")
    c["late_and_out_of_order_events"] = d.start(8).block(32, [d.event(20, STREAM_OFF, 1), d.event(4, STREAM_ON, 1),
                                                            d.event(-9, GRAPH_START)]).data
    f = Dsp("QX-DaRovoVIR3")
    lowpass = [f.event(0, EVENT_SET, 0, 0, "i"), f.event(0, EVENT_SET, 6, 1, "i")]
    c["filter_lowpass"] = f.start(64, lowpass, fill=("const", 0.1)).block(64, fill=("keep",)).data
    f = Dsp("QX-DaRovoVIR3")
    c["filter_nan_then_finite"] = f.start(64, lowpass, fill=("specials",)).block(64, fill=("const", 0.1)).block(
        64, fill=("const", 0.1)).block(64, fill=("const", 0.1)).data
    f = Dsp("QX-DaRovoVIR3", sample_rate=0.0)
    c["filter_zero_sample_rate"] = f.start(32, [f.event(0, EVENT_SET, 6, 9, "i")]).block(0).data
    f = Dsp("QX-DaRovoVIR3", block_size=0)
    c["filter_idle_input"] = f.start(32, lowpass).block(32, [f.event(0, STREAM_OFF, 1)]).block(0).block(32).data
    return c


# ---- gui_session_fuzz: module, mode, operations.
class Gui:
    def __init__(self, module_id, answers=False):
        self.module = next(m for m in GUI if m["id"] == module_id)
        self.data = bytes([GUI.index(self.module), 1 if answers else 0])

    def pin(self, index):
        positions = [p["index"] for p in self.module["pins"]]
        return bytes([positions.index(index)]) if index in positions else bytes([0xFF]) + i32(index)

    def set(self, pin, value, kind="f", notify=True, size=None, null=False):
        out = bytes([4 if notify else 0]) + self.pin(pin)
        out += bytes([0]) if size is None else bytes([7]) + i32(size)
        out += bytes([0 if null else 1]) + value_bytes(value, kind)
        self.data += out
        return self

    def notify(self, pin):
        self.data += bytes([2]) + self.pin(pin)
        return self


def gui_cases():
    c = {}
    c["add_and_solve_back"] = Gui("KelMathAddGuiFloat").set(1, 1.0).set(2, 2.0).set(0, 10.0).data
    c["add_answered"] = Gui("KelMathAddGuiFloat", True).set(1, 1.0).set(2, 2.0).set(0, 10.0).set(3, -1.0).data
    c["limit_answered"] = Gui("KelMathLimitGuiInt", True).set(1, -5, "i").set(2, 5, "i").set(0, 9, "i").set(
        4, -9, "i").data
    c["set_without_notify"] = Gui("KelMathMultiplyGuiInt").set(1, 3, "i", notify=False).notify(2).data
    c["bool_size_4_integer_7"] = Gui("KelMathInvertGuiBool", True).set(0, 7, "i", size=4).data
    c["zero_and_negative_zero"] = Gui("KelMathAbsGuiFloat").set(0, 0.0).set(0, -0.0).data
    c["unknown_pin_and_bad_data"] = Gui("KelMathDivideGuiFloat").set(99, 1.0).set(1, 1.0, null=True).set(
        1, 1.0, size=-1).set(1, 2.0, size=64).data
    c["divide_by_zero_answered"] = Gui("KelMathDivideGuiInt", True).set(1, 0, "i").set(2, 0, "i").set(3, 5, "i").data
    c["wrap_answered"] = Gui("KelMathWrapGuiFloat", True).set(1, 0.0).set(0, 1e30).data
    c["scale_up_answered"] = Gui("KelMathScaleUpGuiFloat", True).set(0, float("nan")).set(1, float("inf")).data
    return c


def dictionary():
    lines = ["# Module identifiers of both libraries as UTF-16 code units, for factory_fuzz."]
    for m in MODULES:
        units = "".join("%s\\x00" % ch for ch in m["id"])
        lines.append('"%s"' % units)
    return "\n".join(lines) + "\n"


def main():
    for target, cases in (("factory_fuzz", factory_cases()), ("dsp_session_fuzz", dsp_cases()),
                          ("gui_session_fuzz", gui_cases())):
        folder = HERE / "corpus" / target
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
        for name, data in cases.items():
            (folder / name).write_bytes(data)
    (HERE / "identifiers.dict").write_text(dictionary())


if __name__ == "__main__":
    main()
