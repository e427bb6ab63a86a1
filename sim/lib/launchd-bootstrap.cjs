"use strict";
// `launchctl bootstrap DOMAIN PLIST` of the simulated Mac: registers the job described by the property
// list and, when RunAtLoad asks for it, starts it under launchd-job in a session of its own, with its
// standard streams on files or /dev/null, so it never holds the caller's pipes.
const fs = require("node:fs");
const path = require("node:path");
const { spawn } = require("node:child_process");
const plist = require("./plist.cjs");
const state = require("./state.cjs");

function fail(status, detail) {
  if (detail) console.error(detail);
  console.error(`Bootstrap failed: ${status}: ${status === 125 ? "Domain does not support specified action" : "Input/output error"}`);
  process.exit(status);
}

const [domain, plistPath] = process.argv.slice(2);
const domainMatch = /^gui\/(\d+)$/.exec(domain || "");
if (!domainMatch || Number(domainMatch[1]) !== process.getuid()) fail(125);
if (!plistPath) fail(5, "no property list given");

let job;
try {
  job = plist.readFile(plistPath);
} catch (error) {
  fail(5, `${plistPath}: ${error.message}`);
}
const isText = (value) => typeof value === "string";
if (!job || typeof job !== "object" || !isText(job.Label) || !/^[^/\0]+$/.test(job.Label) || job.Label.startsWith(".")) {
  fail(5, `${plistPath}: missing or invalid Label`);
}
let argv = job.ProgramArguments;
if (argv !== undefined && (!Array.isArray(argv) || !argv.every(isText))) fail(5, `${plistPath}: invalid ProgramArguments`);
if (isText(job.Program)) argv = [job.Program, ...(argv || []).slice(1)];
if (!argv || argv.length === 0) fail(5, `${plistPath}: no program to run`);

const environment = {};
const given = job.EnvironmentVariables || {};
for (const [name, value] of Object.entries(given)) {
  if (isText(value)) environment[name] = value;
}
if (environment.PATH === undefined) environment.PATH = "/usr/bin:/bin:/usr/sbin:/sbin";
// The simulated Mac's own variable reaches every job, as launchd would reach the real machine.
if (process.env.TALLOWMERE_SIM_STATE) environment.TALLOWMERE_SIM_STATE = process.env.TALLOWMERE_SIM_STATE;

const root = state.launchdDir();
const dir = path.join(root, job.Label);
fs.mkdirSync(root, { recursive: true });
try {
  fs.mkdirSync(dir);
} catch (error) {
  if (error.code === "EEXIST") fail(5, `service already loaded: ${job.Label}`);
  throw error;
}

const nul = (list) => list.map((item) => item + "\0").join("");
fs.writeFileSync(path.join(dir, "plist"), path.resolve(plistPath));
fs.writeFileSync(path.join(dir, "argv"), nul(argv));
fs.writeFileSync(path.join(dir, "env"), nul(Object.entries(environment).map(([name, value]) => `${name}=${value}`)));
fs.writeFileSync(path.join(dir, "stdout"), isText(job.StandardOutPath) ? job.StandardOutPath : "/dev/null");
fs.writeFileSync(path.join(dir, "stderr"), isText(job.StandardErrorPath) ? job.StandardErrorPath : "/dev/null");

if (job.RunAtLoad === true) {
  const supervisor = spawn("/bin/bash", [path.join(__dirname, "launchd-job"), dir], {
    detached: true,
    stdio: "ignore",
    env: {},
  });
  fs.writeFileSync(path.join(dir, "pid"), String(supervisor.pid));
  supervisor.unref();
}
