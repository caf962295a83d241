"""The library as an integrator gets it: the build is installed into a
staging prefix (cmake --install), the examples are built against that prefix
through pkg-config and through find_package (shared and static), and run,
with the ctypes example, against camsim cameras in a network namespace of the
test's own.

BUILD_DIR, SOURCE_DIR, CAMSIM, CC, CXX and ONVIF_CLIENT_VERSION come from CMake.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import camsim  # noqa: E402
import netns  # noqa: E402

CAM_IP = "10.203.32.2"
PASSWORD = "ex-Pw-41d9"
CAMERAS = [
    {"serial": "EX0001", "name": "north"},
    {"serial": "EX0002", "name": "south", "auth": "digest", "user": "admin",
     "password": PASSWORD, "model": "CS-P200", "firmware": "V2.2.0"},
]
STRICT_C = "-O1 -std=c99 -pedantic-errors -Wall -Wextra -Werror"

work = stage = None


def run(cmd, **kw):
    proc = subprocess.run(cmd, capture_output=True, text=True, timeout=600, **kw)
    if proc.returncode != 0:
        raise AssertionError("%s: exit %d\n%s%s" % (" ".join(cmd), proc.returncode, proc.stdout,
                                                   proc.stderr))
    return proc.stdout


def libdir():
    for d in ("lib", "lib64", "lib/x86_64-linux-gnu"):
        if os.path.exists(os.path.join(stage, d, "libonvif-client.so")):
            return os.path.join(stage, d)
    raise AssertionError("no libonvif-client.so under " + stage)


def setUpModule():
    global work, stage
    work = tempfile.mkdtemp(prefix="onvif_examples_")
    stage = os.path.join(work, "stage")
    run(["cmake", "--install", os.environ["BUILD_DIR"], "--prefix", stage])


def tearDownModule():
    shutil.rmtree(work, ignore_errors=True)


class Installed(unittest.TestCase):
    def test_layout(self):
        lib = libdir()
        version = os.environ["ONVIF_CLIENT_VERSION"]
        major = version.split(".")[0]
        inc = os.path.join(stage, "include", "onvif-client")
        expected = [
            (lib, "libonvif-client.so.%s" % version),
            (lib, "libonvif-client.a"),
            (lib, "pkgconfig/onvif-client.pc"),
            (lib, "cmake/OnvifClient/OnvifClientConfig.cmake"),
            (inc, "platform/onvif_api.h"),
            (inc, "onvif/onvif_ops.def"),
            (inc, "onvif/gen/onvif_types.h"),
            (stage, "bin/corvanta-ipc-tool"),
            (stage, "bin/onvif-cli"),
            (stage, "share/applications/corvanta-ipc-tool.desktop"),
            (stage, "share/icons/hicolor/scalable/apps/corvanta-ipc-tool.svg"),
        ]
        for base, rel in expected:
            with self.subTest(rel):
                self.assertTrue(os.path.isfile(os.path.join(base, rel)))
        self.assertEqual("libonvif-client.so.%s" % version,
                         os.readlink(os.path.join(lib, "libonvif-client.so.%s" % major)))
        soname = run(["readelf", "-d", os.path.join(lib, "libonvif-client.so")])
        self.assertIn("[libonvif-client.so.%s]" % major, soname)
        # The library's own C++ headers stay out; camsim only comes on request.
        installed = [f for _, _, files in os.walk(inc) for f in files]
        self.assertEqual([], [f for f in installed if not f.endswith((".h", ".def"))])
        self.assertFalse(os.path.exists(os.path.join(stage, "bin", "camsim")))

        with open(os.path.join(stage, "share/applications/corvanta-ipc-tool.desktop")) as f:
            desktop = dict(line.strip().split("=", 1) for line in f if "=" in line)
        self.assertEqual("corvanta-ipc-tool", desktop["Exec"])
        self.assertEqual("corvanta-ipc-tool", desktop["Icon"])

        cli = run([os.path.join(stage, "bin", "onvif-cli"), "--version"],
                  env=dict(os.environ, LD_LIBRARY_PATH=lib))
        self.assertIn(version, cli)


class Examples(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        src = os.path.join(os.environ["SOURCE_DIR"], "examples")
        env = dict(os.environ, PKG_CONFIG_PATH=os.path.join(libdir(), "pkgconfig"))
        cls.version_from_pkg_config = run(["pkg-config", "--modversion", "onvif-client"],
                                          env=env).strip()
        # pkg-config, through the example's Makefile.
        pc_dir = os.path.join(work, "pc")
        os.makedirs(pc_dir)
        run(["make", "-s", "-f", os.path.join(src, "Makefile"), "-C", pc_dir, "srcdir=" + src,
             "CFLAGS=" + STRICT_C], env=env)
        # find_package, shared and static.
        cm_dir = os.path.join(work, "cmake")
        run(["cmake", "-S", src, "-B", cm_dir, "-G", "Ninja", "-DCMAKE_PREFIX_PATH=" + stage,
             "-DEXAMPLES_STATIC=ON", "-DCMAKE_C_FLAGS=" + STRICT_C,
             "-DCMAKE_C_COMPILER=" + os.environ["CC"],
             "-DCMAKE_CXX_COMPILER=" + os.environ["CXX"]])
        run(["cmake", "--build", cm_dir])
        cls.programs = {
            "pkg-config": [os.path.join(pc_dir, "discover_info")],
            "find_package": [os.path.join(cm_dir, "discover_info")],
            "find_package static": [os.path.join(cm_dir, "discover_info_static")],
            "ctypes": [sys.executable, os.path.join(src, "discover_info.py")],
        }

    def test_pkg_config_version(self):
        self.assertEqual(os.environ["ONVIF_CLIENT_VERSION"], self.version_from_pkg_config)

    def test_each_example_finds_and_reads_every_camera(self):
        with camsim.Camsim(os.environ["CAMSIM"], CAMERAS, CAM_IP, discovery=True) as sim:
            expected = set()
            for cam, (serial, address, port) in zip(CAMERAS, sim.listening()):
                expected.add("%s:%d Camsim | %s | firmware %s | serial %s" % (
                    address, port, cam.get("model", "CS-B100"), cam.get("firmware", "V1.0.0"),
                    serial))
            env = dict(os.environ, LD_LIBRARY_PATH=libdir(), ONVIF_USER="admin",
                       ONVIF_PASSWORD=PASSWORD)
            for name, cmd in self.programs.items():
                with self.subTest(name):
                    out = run(cmd + ["2"], env=env).splitlines()
                    self.assertRegex(out[0], r"^onvif-client %s: discovering for 2 s$" %
                                     re.escape(os.environ["ONVIF_CLIENT_VERSION"]))
                    self.assertEqual(expected, set(out[1:-1]), out)
                    self.assertEqual("2 device(s)", out[-1])


if __name__ == "__main__":
    netns.enter_private_network("va", "10.203.32.1", "vb", CAM_IP)
    unittest.main(verbosity=2)
