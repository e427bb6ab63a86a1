"use strict";
// The simulated Mac's state for Node.js tools; same file format and rules as state.sh.
const fs = require("node:fs");
const path = require("node:path");
const os = require("node:os");

const defaultsFile = path.join(__dirname, "state.defaults");

function lookup(file, key) {
  if (!file) return undefined;
  let text;
  try {
    text = fs.readFileSync(file, "utf8");
  } catch {
    return undefined;
  }
  let value;
  for (const line of text.split("\n")) {
    if (line.startsWith(key + "=")) value = line.slice(key.length + 1).replace(/\r$/, "");
  }
  return value;
}

// Every tool of a world notes what it and the process that started it were started with (see
// sim_note_start in state.sh).
function noteStart() {
  const file = process.env.TALLOWMERE_SIM_STATE;
  if (!file || !fs.existsSync(`${file}.d`)) return;
  for (const pid of ["self", String(process.ppid)]) {
    try {
      const text = ["cmdline", "environ"].map((f) => fs.readFileSync(`/proc/${pid}/${f}`, "latin1").replaceAll("\0", "\n"));
      fs.appendFileSync(`${file}.d/started`, `== ${pid}\n${text.join("")}`);
    } catch {
      // the parent may be gone already
    }
  }
}
noteStart();

function get(key) {
  const value = lookup(process.env.TALLOWMERE_SIM_STATE, key);
  return value !== undefined ? value : (lookup(defaultsFile, key) ?? "");
}

function number(key, fallback = 0) {
  const value = Number(get(key));
  return get(key) !== "" && Number.isFinite(value) ? value : fallback;
}

function set(key, value) {
  const file = process.env.TALLOWMERE_SIM_STATE;
  if (!file) throw new Error(`TALLOWMERE_SIM_STATE is not set; ${key} stays unchanged`);
  value = String(value);
  if (value.includes("\n")) throw new Error(`a value must fit on one line (${key})`);
  let lines = [];
  try {
    lines = fs.readFileSync(file, "utf8").split("\n");
  } catch {}
  if (lines.length && lines[lines.length - 1] === "") lines.pop();
  lines = lines.filter((line) => !line.startsWith(key + "="));
  lines.push(`${key}=${value}`);
  const tmp = `${file}.${process.pid}`;
  fs.writeFileSync(tmp, lines.join("\n") + "\n");
  fs.renameSync(tmp, file);
}

function launchdDir() {
  const file = process.env.TALLOWMERE_SIM_STATE;
  if (file) return `${file}.d/launchd`;
  return path.join(os.tmpdir(), `tallowmere-sim-${process.getuid()}`, "launchd");
}

module.exports = { get, number, set, launchdDir };
