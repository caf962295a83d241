"""onvif-cli end to end: the program as a script runs it, against camsim
cameras in a network namespace of the test's own (veth pair; camsim answers
WS-Discovery on the camera end). Output is parsed (JSON, CSV) and checked
against what the cameras are; exit codes are checked for each kind of
failure. No run may print the password.

ONVIF_CLI and CAMSIM name the programs (set by CMake).
"""
import csv
import io
import json
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import camsim  # noqa: E402
import netns  # noqa: E402

CLIENT_IP = "10.203.31.1"
CAM_IP = "10.203.31.2"
MOVED_IP = "10.203.31.3"  # where camera 1 is moved to
SPARE_IP = "10.203.31.4"  # an address of the camera end where nothing listens
PASSWORD = "Pw-7f3c-secret"

DOOR, YARD, GATE, HALL, LOBBY = range(5)
CAMERAS = [
    # door: digest; its clock is an hour ahead.
    {"serial": "CLI0001", "name": "door", "auth": "digest", "user": "admin",
     "password": PASSWORD, "clock_offset_s": 3600},
    # yard: digest; gets moved.
    {"serial": "CLI0002", "name": "yard", "auth": "digest", "user": "admin",
     "password": PASSWORD},
    # gate: answers every Set... with success and applies nothing.
    {"serial": "CLI0003", "name": "gate", "ignore_sets": True, "clock_offset_s": 3600},
    # hall: refuses GetDeviceInformation, garbles GetNetworkInterfaces.
    {"serial": "CLI0004", "name": "hall", "fail_ops": ["GetDeviceInformation"],
     "answer_ops": {"GetNetworkInterfaces": "malformed"}},
    # lobby: WS-Security.
    {"serial": "CLI0005", "name": "lobby", "auth": "wsse", "user": "admin", "password": PASSWORD,
     "model": "CS-D300", "firmware": "V3.1.4"},
]

CREDS = {"ONVIF_USER": "admin", "ONVIF_PASSWORD": PASSWORD}
sim = None


def setUpModule():
    global sim
    sim = camsim.Camsim(os.environ["CAMSIM"], CAMERAS, CAM_IP, discovery=True)
    sim.start()


def tearDownModule():
    sim.stop()


class Run:
    def __init__(self, proc):
        self.code = proc.returncode
        self.out = proc.stdout
        self.err = proc.stderr

    def json(self):
        return json.loads(self.out)

    def __str__(self):
        return "exit %d\n--- stdout\n%s--- stderr\n%s" % (self.code, self.out, self.err)


class CliTest(unittest.TestCase):
    def run_cli(self, *args, env=None):
        full_env = {k: v for k, v in os.environ.items() if not k.startswith("ONVIF_")}
        full_env.update(env or {})
        proc = subprocess.run([os.environ["ONVIF_CLI"]] + list(args), env=full_env,
                              stdin=subprocess.DEVNULL, capture_output=True, text=True,
                              timeout=120)
        run = Run(proc)
        self.assertNotIn(PASSWORD, run.out + run.err, "the password was printed")
        return run


class Discover(CliTest):
    def check_devices(self, devices):
        listening = {serial: (address, port) for serial, address, port in sim.listening()}
        by_name = {d["name"]: d for d in devices}
        self.assertEqual({c["name"] for c in CAMERAS}, set(by_name))
        for cam in CAMERAS:
            d = by_name[cam["name"]]
            address, port = listening[cam["serial"]]
            self.assertEqual(address, d["host"])
            self.assertEqual(port, int(d["port"]))
            self.assertEqual("http://%s:%d/onvif/device_service" % (address, port), d["xaddr"])
            self.assertEqual(cam.get("model", "CS-B100"), d["hardware"])
            self.assertEqual("NetworkVideoTransmitter", d["type"])
            self.assertTrue(d["endpoint"].startswith("urn:uuid:"), d["endpoint"])

    def test_json_on_a_named_interface_and_csv_on_all(self):
        run = self.run_cli("discover", "--seconds", "2", "--interface", "va", "--json")
        self.assertEqual(0, run.code, run)
        devices = run.json()
        self.check_devices(devices)
        self.assertIn("onvif://www.onvif.org/name/door",
                      [s for d in devices for s in d["scopes"]])

        run = self.run_cli("discover", "--seconds", "2", "--csv")
        self.assertEqual(0, run.code, run)
        rows = list(csv.DictReader(io.StringIO(run.out)))
        self.check_devices(rows)


class DeviceCommands(CliTest):
    def host(self, index):
        return sim.host(index)

    def test_info(self):
        run = self.run_cli("info", self.host(LOBBY), "--json", env=CREDS)
        self.assertEqual(0, run.code, run)
        info = run.json()
        self.assertEqual(("Camsim", "CS-D300", "V3.1.4", "CLI0005"),
                         (info["manufacturer"], info["model"], info["firmware"], info["serial"]))
        self.assertEqual("http://%s/onvif/device_service" % self.host(LOBBY),
                         info["services"]["device"])
        self.assertTrue(info["clock"]["utc"].endswith("Z"), info["clock"])

    def test_time_sync_is_read_back(self):
        run = self.run_cli("time", self.host(DOOR), "--sync", "--json", env=CREDS)
        self.assertEqual(0, run.code, run)
        result = run.json()
        self.assertLess(abs(result["before"]["offset_seconds"] - 3600), 60, result)
        self.assertTrue(result["confirmed"])

        # A camera that answers "done" and keeps its clock.
        run = self.run_cli("time", self.host(GATE), "--sync", "--json")
        self.assertEqual(7, run.code, run)
        self.assertFalse(run.json()["confirmed"])

    def test_network_set_ip_moves_the_camera(self):
        run = self.run_cli("network", self.host(YARD), "--json", env=CREDS)
        self.assertEqual(0, run.code, run)
        iface = run.json()["network"]["interfaces"][0]
        self.assertEqual({"enabled": True, "dhcp": False, "address": CAM_IP, "prefix_length": 24},
                         iface["ipv4"])

        port = sim.listening()[YARD][2]
        run = self.run_cli("network", self.host(YARD), "--set-ip", MOVED_IP + "/24", "--gateway",
                           "10.203.31.254", "--dns", "10.203.31.53,10.203.31.54", "--json",
                           env=CREDS)
        self.assertEqual(0, run.code, run)
        result = run.json()
        self.assertTrue(result["confirmed"])
        self.assertEqual(MOVED_IP, result["new_host"])
        net = result["network"]
        self.assertEqual(MOVED_IP, net["interfaces"][0]["ipv4"]["address"])
        self.assertEqual(["10.203.31.254"], net["gateway"])
        self.assertEqual(["10.203.31.53", "10.203.31.54"], net["dns"]["servers"])
        self.assertEqual(("CLI0002", MOVED_IP, port), sim.listening()[YARD])

    def test_network_change_not_applied_is_not_confirmed(self):
        run = self.run_cli("network", self.host(GATE), "--set-ip", SPARE_IP + "/24", "--wait", "0",
                           "--json")
        self.assertEqual(7, run.code, run)
        self.assertFalse(run.json()["confirmed"])
        self.assertEqual(CAM_IP, sim.listening()[GATE][1])

    def test_events_from_a_pull_point(self):
        run = self.run_cli("events", self.host(DOOR), "--count", "3", "--json", env=CREDS)
        self.assertEqual(0, run.code, run)
        events = [json.loads(line) for line in run.out.splitlines()]
        self.assertEqual(3, len(events), run)
        self.assertEqual(["tns1:VideoSource/MotionAlarm",
                          "tns1:RuleEngine/CellMotionDetector/Motion",
                          "tns1:VideoSource/MotionAlarm"], [e["topic"] for e in events])
        self.assertEqual({"State": "true"}, events[0]["data"])
        self.assertEqual("Motion & more", events[1]["source"]["Rule"])

    def test_profiles_and_a_snapshot(self):
        run = self.run_cli("profiles", self.host(DOOR), "--json", env=CREDS)
        self.assertEqual(0, run.code, run)
        profiles = run.json()
        self.assertGreater(len(profiles), 1, run)
        for p in profiles:
            # A profile with a video encoder has a stream; every one a snapshot.
            self.assertEqual(p["encoding"] is not None, (p["stream_uri"] or "").startswith("rtsp://"), p)
            self.assertTrue(p["snapshot_uri"].startswith("http://" + self.host(DOOR) + "/"), p)
        run = self.run_cli("profiles", self.host(DOOR), "--csv", env=CREDS)
        self.assertEqual([p["token"] for p in profiles],
                         [r["token"] for r in csv.DictReader(io.StringIO(run.out))])

        last = profiles[-1]["token"]
        with tempfile.TemporaryDirectory() as tmp:
            for args, token in (([], profiles[0]["token"]), (["--profile", last], last)):
                with self.subTest(token):
                    path = os.path.join(tmp, "snap.jpg")
                    run = self.run_cli("snapshot", self.host(DOOR), "-o", path, "--json", *args,
                                       env=CREDS)
                    self.assertEqual(0, run.code, run)
                    result = run.json()
                    self.assertEqual(token, result["profile"])
                    with open(path, "rb") as f:
                        picture = f.read()
                    self.assertEqual(len(picture), result["bytes"])
                    self.assertEqual(b"\xff\xd8", picture[:2])  # JPEG start of image
            self.assertEqual(["snap.jpg"], os.listdir(tmp))

    def test_upgrade_is_confirmed_by_the_new_version(self):
        with tempfile.NamedTemporaryFile(suffix=".bin") as image:
            image.write(b"\x7fFW" * 1000)
            image.flush()
            run = self.run_cli("upgrade", self.host(DOOR), image.name, "--json", env=CREDS)
        self.assertEqual(0, run.code, run)
        result = run.json()
        self.assertEqual("V1.0.0", result["firmware_before"])
        self.assertNotEqual("V1.0.0", result["firmware_after"])
        self.assertTrue(result["confirmed"])
        self.assertEqual(3000, result["bytes"])


class ExitCodes(CliTest):
    def test_each_failure_has_its_code(self):
        door, hall = sim.host(DOOR), sim.host(HALL)
        cases = [
            ("no connection", ["info", CAM_IP + ":1"], CREDS, 3),
            ("no credentials", ["info", door], {}, 4),
            ("wrong password", ["info", door, "--user", "admin", "--password", "x" + PASSWORD],
             {}, 4),
            ("wrong password, inline", ["info", door, "--user=admin", "--password=x" + PASSWORD],
             {}, 4),
            ("operation refused", ["info", hall], {}, 1),
            ("unreadable answer", ["network", hall], {}, 5),
            ("firmware file missing", ["upgrade", door, "/nonexistent/fw.bin"], CREDS, 6),
            ("snapshot not writable", ["snapshot", door, "-o", "/nonexistent/s.jpg"], CREDS, 6),
        ]
        for name, args, env, code in cases:
            with self.subTest(name):
                run = self.run_cli(*args, env=env)
                self.assertEqual(code, run.code, run)
                self.assertTrue(run.err.startswith("onvif-cli: "), run)

    def test_bad_command_lines(self):
        h = "10.203.31.2:80"
        cases = [
            [],
            ["frobnicate"],
            ["info"],
            ["info", h, h],
            ["info", h, "--csv"],
            ["info", "http://"],
            ["discover", "--seconds", "0"],
            ["discover", "--seconds"],
            ["discover", "--interface", "nosuch0"],
            ["network", h, "--set-ip", "10.0.0.5"],
            ["network", h, "--set-ip", "10.0.0.5/33"],
            ["network", h, "--set-ip", "10.0.0.500/24"],
            ["network", h, "--dhcp", "--set-ip", "10.0.0.5/24"],
            ["network", h, "--gateway", "10.0.0.1"],
            ["network", h, "--set-ip", "10.0.0.5/24", "--dns", "1.1.1.1,2.2.2.2,3.3.3.3"],
            ["snapshot", h],
            ["upgrade", h],
            ["events", h, "--count", "x"],
            ["time", h, "--sync=yes"],
        ]
        for args in cases:
            with self.subTest(" ".join(args)):
                run = self.run_cli(*args)
                self.assertEqual(2, run.code, run)
                self.assertIn("Try 'onvif-cli", run.err)
                self.assertEqual("", run.out)

    def test_help_for_each_command(self):
        commands = ["discover", "info", "network", "time", "profiles", "snapshot", "events",
                    "upgrade"]
        main = self.run_cli("--help")
        self.assertEqual(0, main.code, main)
        for c in commands:
            self.assertIn("\n  " + c + " ", main.out)
            for form in ([c, "--help"], ["help", c]):
                with self.subTest(" ".join(form)):
                    run = self.run_cli(*form)
                    self.assertEqual(0, run.code, run)
                    self.assertTrue(run.out.startswith("Usage: onvif-cli " + c), run)
                    self.assertIn("Exit codes:", run.out)


if __name__ == "__main__":
    netns.enter_private_network("va", CLIENT_IP, "vb", CAM_IP, extra_b=(MOVED_IP, SPARE_IP))
    unittest.main(verbosity=2)
