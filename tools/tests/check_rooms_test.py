#!/usr/bin/env python3
"""tools/check-rooms.py on small trees: each case a tree and the complaints it must give."""

import os
import runpy
import tempfile
import types
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
# The script's name has a dash, so it is loaded by path rather than imported.
check_rooms = types.SimpleNamespace(**runpy.run_path(os.path.join(HERE, "..", "check-rooms.py"), run_name="check_rooms"))

ROOMS = "set(OX_RENDER_ROOMS scene files frame)\n"
BASE = {
    "Apps/oxrender/CMakeLists.txt": ROOMS,
    "Apps/oxrender/scene/oxScene.h": "#pragma once\n#include <vector>\n",
    "Apps/oxrender/files/oxReader.h": '#pragma once\n#include "oxScene.h"\n',
    "Apps/oxrender/frame/oxFrame.h": '#pragma once\n#include "oxReader.h"\n',
    "Apps/oxhost/oxHostOnly.h": "#pragma once\n",
    "Libs/core/oxCore.h": "#pragma once\n",
    "Libs/CMakeLists.txt": "# builds on its own, never uses Apps/\nadd_library(core core.cpp)\n",
}

# (name, files added to or replacing BASE, complaints expected: one substring each, in order)
CASES = [
    ("downward includes only", {}, []),
    ("a system header that shares no name", {"Apps/oxrender/scene/a.cpp": "#include <oxFrame>\n"}, []),
    ("a room including the room above it",
     {"Apps/oxrender/scene/oxScene.cpp": '#include "oxScene.h"\n#include "oxFrame.h"\n'},
     ["Apps/oxrender/scene/oxScene.cpp:2: room scene includes oxFrame.h of room frame, which is above it"]),
    ("a nested source of a room",
     {"Apps/oxrender/scene/reader/main.cpp": '#include "oxFrame.h"\n'},
     ["scene/reader/main.cpp:1: room scene includes oxFrame.h of room frame"]),
    ("two rooms both ways",
     {"Apps/oxrender/files/oxReader.cpp": '#include "oxFrame.h"\n'},
     ["room files includes oxFrame.h of room frame, which is above it",
      "rooms files and frame include each other: Apps/oxrender/files/oxReader.cpp:1 and Apps/oxrender/frame/oxFrame.h:2"]),
    ("a path written with its folder",
     {"Apps/oxrender/scene/b.cpp": '#include "../frame/oxFrame.h"\n'},
     ["room scene includes ../frame/oxFrame.h of room frame"]),
    ("tests, fuzz and bench of a room drive the whole renderer",
     {"Apps/oxrender/scene/tests/tst.cpp": '#include "oxFrame.h"\n',
      "Apps/oxrender/files/fuzz/f.cpp": '#include "oxFrame.h"\n',
      "Apps/oxrender/scene/bench/b.cpp": '#include "oxFrame.h"\n'}, []),
    ("one header name in two rooms",
     {"Apps/oxrender/frame/oxScene.h": "#pragma once\n"},
     ["Apps/oxrender/frame/oxScene.h: header oxScene.h is also in room scene"]),
    ("Libs including a header of Apps",
     {"Libs/core/core.cpp": '#include "oxCore.h"\n#include "oxHostAnalysis.h"\n#include "oxFrame.h"\n'},
     ["Libs/core/core.cpp:3: Libs/ includes oxFrame.h of Apps/"]),
    ("Libs naming Apps in CMake",
     {"Libs/core/CMakeLists.txt": "include_directories(${ROOT}/Apps/oxrender/frame)  # the frame\n"},
     ["Libs/core/CMakeLists.txt:1: Libs/ names a path in Apps/"]),
    ("the host reaching past the renderer's public headers",
     {"Apps/oxhost/project/CMakeLists.txt":
      "# not Apps/oxrender/scene\ninclude_directories(${ROOT}/Apps/oxrender/scene)\n"
      "include_directories(${ROOT}/Apps/oxrender/testsupport ${ROOT}/Apps/oxrender/sceneries)\n",
      "Apps/oxrender/frame/CMakeLists.txt": "include_directories(${ROOT}/Apps/oxrender/scene)\n"},
     ["Apps/oxhost/project/CMakeLists.txt:2: names the room scene of Apps/oxrender"]),
]


def problems(files):
    with tempfile.TemporaryDirectory() as root:
        for path, text in {**BASE, **files}.items():
            full = os.path.join(root, path)
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "w", encoding="utf-8") as f:
                f.write(text)
        return check_rooms.check_rooms(root) + check_rooms.check_libs(root) + check_rooms.check_public(root)


class CheckRoomsTest(unittest.TestCase):
    def test_cases(self):
        for name, files, expected in CASES:
            with self.subTest(name):
                found = problems(files)
                self.assertEqual(len(found), len(expected), found)
                for complaint, wanted in zip(found, expected):
                    self.assertIn(wanted, complaint)

    def test_rooms_list_missing(self):
        with self.assertRaisesRegex(SystemExit, "no set\\(OX_RENDER_ROOMS"):
            problems({"Apps/oxrender/CMakeLists.txt": "set(rooms scene)\n"})


if __name__ == "__main__":
    unittest.main()
