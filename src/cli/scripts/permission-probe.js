// Runs one of the agent's permission probes inside a launchd job, so macOS judges the agent's own
// Node.js, and leaves the outcome in the result file: granted, denied or error.
// Arguments: module path, result path, home, PATH, probe name (the last five, however node was started).
const fs = require("node:fs");
const { spawnSync } = require("node:child_process");

const [modulePath, resultPath, home, searchPath, probeName] = process.argv.slice(-5);

async function probe() {
  process.env.HOME = home;
  process.env.PATH = searchPath;
  const permissions = await import("file://" + modulePath);
  const granted = await permissions[probeName]();
  if (!granted) return "denied";
  if (probeName === "checkAutomationPermission") {
    // Sending System Events a harmless key press is what makes macOS ask the user for consent.
    const osascript = spawnSync("@OSASCRIPT@", [
      "-e", 'tell application "System Events"',
      "-e", "key down shift",
      "-e", "key up shift",
      "-e", "end tell",
    ], { stdio: "ignore" });
    return osascript.status === 0 ? "granted" : "denied";
  }
  return "granted";
}

probe()
  .catch(() => "error")
  .then((outcome) => fs.writeFileSync(resultPath, outcome));
