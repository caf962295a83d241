"""Test support for Python tests: one camera simulator (camsim) process, as
tests/support/camsim_process.h gives the C++ ones. Its configuration, ready
file and uploads live in a temporary folder; start() waits (at most 15 s)
until the ready file lists every camera, stop() ends the process (TERM, KILL
after 5 s) and removes the folder. Use it as a context manager.
"""
import json
import os
import shutil
import subprocess
import tempfile
import time


class Camsim:
    def __init__(self, path, cameras, address, discovery=False):
        self.path = path
        self.cameras = cameras
        self.address = address
        self.discovery = discovery
        self.dir = None
        self.proc = None

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    def start(self):
        self.dir = tempfile.mkdtemp(prefix="camsim_py_")
        config = os.path.join(self.dir, "cameras.json")
        with open(config, "w") as f:
            json.dump(self.cameras, f)
        cmd = [self.path, "--config", config, "--address", self.address, "--http-port", "0",
               "--ready-file", self.ready_file, "--upload-dir", os.path.join(self.dir, "uploads"),
               "--quiet"]
        if self.discovery:
            cmd += ["--discovery-address", self.address]
        self.proc = subprocess.Popen(cmd)
        for _ in range(150):
            if len(self.listening()) == len(self.cameras):
                return
            if self.proc.poll() is not None:
                break
            time.sleep(0.1)
        self.stop()
        raise RuntimeError("camsim did not get ready")

    @property
    def ready_file(self):
        return os.path.join(self.dir, "ready")

    def listening(self):
        """[(serial, address, port)] as the ready file says now."""
        try:
            with open(self.ready_file) as f:
                rows = [line.split() for line in f if line.strip()]
        except FileNotFoundError:
            return []
        return [(r[0], r[1], int(r[2])) for r in rows if len(r) == 3]

    def host(self, index):
        """"address:port" of camera index."""
        _, address, port = self.listening()[index]
        return "%s:%d" % (address, port)

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc = None
        if self.dir:
            shutil.rmtree(self.dir, ignore_errors=True)
            self.dir = None
