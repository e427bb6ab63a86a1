"""One scenario's world of the simulated Mac, the real application in it, and what a scenario needs to
drive it: start, kill and restart the application, take screenshots, and look for leaked secrets."""

import json
import os
import pathlib
import signal
import subprocess
import time

from window import Windows

SETUP_CODE = "TMS2-7QK4-M9XZ-R2TB"
WORKSPACE_CODE = "TMI1-H3VN-8CPW-5KDY"


class Player:
    def __init__(self, build, sim, folder, prepared):
        self.build, self.sim, self.folder = pathlib.Path(build), pathlib.Path(sim), pathlib.Path(folder)
        self.app, self.windows, self.shots, self.runs = None, None, 0, 0
        if prepared:  # a world made beforehand with simctl
            self.home, self.state = pathlib.Path(os.environ["HOME"]), pathlib.Path(os.environ["TALLOWMERE_SIM_STATE"])
        else:
            self.home, self.state = self.folder / "home", self.folder / "sim-state"
            self.home.mkdir(parents=True)
        runtime = self.folder / "runtime"
        runtime.mkdir(mode=0o700)
        self.env = dict(os.environ, HOME=str(self.home), XDG_RUNTIME_DIR=str(runtime),
                        TALLOWMERE_SIM_DIR=str(self.sim), TALLOWMERE_SIM_STATE=str(self.state), QT_QPA_PLATFORM="xcb",
                        QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_FORCE_STDERR_LOGGING="1")
        if not prepared:
            self.simctl("init")

    # The world

    def simctl(self, *args):
        result = subprocess.run([self.sim / "simctl", *args], env=self.env, check=True, capture_output=True, text=True)
        return result.stdout.strip()

    def set(self, **knobs):
        for key, value in knobs.items():
            self.simctl("set", key, str(value))

    def profile_file(self, name):
        path = self.home / ".tallowmere" / "profiles" / "default" / name
        return path.read_text() if path.exists() else None

    def stage(self):
        return (self.profile_file("mac-app-install-stage") or "none").strip()

    def opened(self):
        """The addresses the application opened in the browser or System Settings."""
        path = pathlib.Path(f"{self.state}.d/opened")
        return path.read_text().splitlines() if path.exists() else []

    # The application

    def start(self):
        self.runs += 1
        out = open(self.folder / f"app-{self.runs}.out", "wb")
        err = open(self.folder / f"app-{self.runs}.err", "wb")
        self.app = subprocess.Popen([self.build / "src/ui/tallowmere-mac"], env=self.env, stdout=out, stderr=err)
        self.windows = Windows(self.app.pid)
        self.windows.wait(timeout=30, role="frame", name="Tallowmere")

    def kill(self):
        """Ends the application the hard way, as a crash or a forced quit would."""
        self.app.send_signal(signal.SIGKILL)
        self.app.wait()

    def quit(self):
        if self.app and self.app.poll() is None:
            self.app.terminate()
            try:
                self.app.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.kill()

    def kill_agent(self):
        """The agent's process dies (pm2 keeps one record per app)."""
        for record in (self.home / ".pm2" / "sim-apps").glob("*.json"):
            os.kill(json.loads(record.read_text())["pid"], signal.SIGKILL)

    def activate(self):
        """The person switches away from the window and back to it (as after System Settings)."""
        window = subprocess.run(["xdotool", "search", "--pid", str(self.app.pid), "--name", "^Tallowmere$"],
                                capture_output=True, text=True).stdout.split()
        for wid in window[:1]:
            for step in ("windowminimize", "windowactivate"):
                subprocess.run(["xdotool", step, "--sync", wid], check=False, stderr=subprocess.DEVNULL)

    def open_panel(self):
        """Clicks the application's icon in the tray: its panel opens."""
        tray = subprocess.run(["xdotool", "search", "--class", "trayer"], capture_output=True, text=True).stdout.split()
        assert tray, "the desktop has no tray"
        shell = subprocess.run(["xdotool", "getwindowgeometry", "--shell", tray[-1]], capture_output=True,
                               text=True).stdout
        g = dict(line.split("=", 1) for line in shell.split())
        subprocess.run(["xdotool", "mousemove", str(int(g["X"]) + int(g["WIDTH"]) // 2),
                        str(int(g["Y"]) + int(g["HEIGHT"]) // 2), "click", "1"], check=True)
        self.windows.wait(timeout=10, name="打开 Tallowmere", role="push button")

    def shot(self, label, settle=0.4):
        """Saves what the display shows, once a page switch has had `settle` seconds to finish."""
        self.shots += 1
        time.sleep(settle)
        subprocess.run([self.build / "tests/e2e/e2e-grab", self.folder / f"{self.shots:02d}-{label}.png"], env=self.env)

    def stuck(self, error):
        """Where the scenario got stuck: the stage and the page's first texts."""
        screen = " | ".join(self.windows.texts()[:8]) if self.windows else "no window"
        return f"stuck at stage {self.stage()!r} on screen [{screen}]: {error}"

    def expect(self, *texts, timeout=60):
        """Waits until every text shows (as an item's name or part of one)."""
        def showing(w):
            names = w.texts()
            return all(any(t in n for n in names) for t in texts)
        showing.__doc__ = "the texts " + ", ".join(map(repr, texts))
        self.windows.wait(showing, timeout)

    # Secrets

    def secrets(self):
        found = {"setup code": SETUP_CODE[5:], "workspace code": WORKSPACE_CODE[5:],
                 "workspace e-mail": self.simctl("get", "setupEmail"),
                 "workspace password": self.simctl("get", "setupPassword"),
                 "service API key": self.simctl("get", "serviceApiKey")}
        found.update({f"link token {i}": url.split("#", 1)[1] for i, url in enumerate(self.opened()) if "#" in url})
        return found

    def leaks(self):
        """Every place a secret turned up where it must not be."""
        places = [p for p in self.home.rglob("*") if p.is_file() and not p.is_symlink()]
        places += list(self.folder.glob("app-*.out")) + list(self.folder.glob("app-*.err"))
        places.append(pathlib.Path(f"{self.state}.d/started"))  # what every child was started with
        secrets, found = self.secrets(), []
        for place in places:
            try:
                content = place.read_bytes()
            except OSError:
                continue
            agent_configuration = place.name == "config.json" and place.parent.parent.name == "profiles"
            for what, value in secrets.items():
                for form in {value, value.replace("-", "")}:
                    if form and form.encode() in content and not (what == "service API key" and agent_configuration):
                        found.append(f"{what} in {place}")
        return found

