"""A desktop for the application: an X display with a window manager and a tray, and the accessibility
bus through which the player reads the window. Everything started here ends when the desktop closes."""

import os
import shutil
import signal
import subprocess
import time


class Desktop:
    def __init__(self, log_dir, own_display):
        self.processes = []
        self.log = open(os.path.join(log_dir, "desktop.log"), "ab")
        if own_display:
            xvfb = self._start(["Xvfb", "-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
                               stdout=subprocess.PIPE)
            os.environ["DISPLAY"] = ":" + xvfb.stdout.readline().decode().strip()
            for _ in range(50):  # the display answers a moment after it names itself
                if subprocess.run(["xdotool", "getdisplaygeometry"], capture_output=True).returncode == 0:
                    break
                time.sleep(0.1)
            self._start(["openbox", "--sm-disable"])
            # A tray along the top edge, as a desktop's panel has one.
            self._start(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                         "--height", "24", "--SetDockType", "true", "--transparent", "false"])
        # Qt joins the accessibility bus only when the bus exists as it starts.
        self._start(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        time.sleep(1.0)

    def _start(self, argv, stdout=None):
        process = subprocess.Popen(argv, stdout=stdout or self.log, stderr=self.log, start_new_session=True)
        self.processes.append(process)
        return process

    def close(self):
        for process in reversed(self.processes):
            try:
                os.killpg(process.pid, signal.SIGTERM)
                process.wait(timeout=5)
            except (ProcessLookupError, subprocess.TimeoutExpired):
                pass
        self.log.close()


def available():
    """Names the first missing program a desktop needs, or None."""
    for program in ("Xvfb", "openbox", "trayer", "xdotool", "/usr/libexec/at-spi-bus-launcher"):
        if not shutil.which(program):
            return program
    return None
