#!/usr/bin/env node
"use strict";
// The simulated agent's command line:
//   daemon install [--profile NAME]   write the launchd wrapper and the pm2 configuration
//   daemon run [--profile NAME]       run the agent: the status endpoint on loopback
// Both follow the simulated Mac's state (see lib/state.defaults in the simulated Mac).
const crypto = require("node:crypto");
const fs = require("node:fs");
const http = require("node:http");
const path = require("node:path");
const sim = require("../sim.cjs");

const home = process.env.HOME || require("node:os").homedir();
const base = path.join(home, ".tallowmere");
const args = process.argv.slice(2);
const profileAt = args.indexOf("--profile");
const profile = profileAt >= 0 && args[profileAt + 1] ? args[profileAt + 1] : "default";
const profileDir = path.join(base, "profiles", profile);

function writeAtomically(file, text, mode) {
  fs.mkdirSync(path.dirname(file), { recursive: true });
  const tmp = `${file}.${process.pid}`;
  fs.writeFileSync(tmp, text, { mode });
  fs.chmodSync(tmp, mode);
  fs.renameSync(tmp, file);
}

const wrapperLines = [
  "#!/bin/bash",
  "# Tallowmere agent launcher, written by `tallowmere daemon install`.",
  "# launchd runs it at login; it brings the agent's pm2 processes back.",
  "set -euo pipefail",
  "",
  'export PATH="/opt/homebrew/bin:/usr/local/bin:/usr/bin:/bin:$PATH"',
];
const wrapperTail = [
  "if ! command -v tallowmere >/dev/null 2>&1; then",
  '  echo "tallowmere is not installed" >&2',
  "  exit 1",
  "fi",
  "exec pm2 resurrect",
];
const runtimeBlock = [
  "# mac-app-runtime-v2",
  'runtime_node="$HOME/.tallowmere/mac-app-runtime/node"',
  'runtime_bin="$HOME/.tallowmere/mac-app-runtime/bin"',
  '[[ -x "$runtime_node" && -x "$runtime_bin/cliclick" ]] || { echo "Tallowmere runtime is unavailable" >&2; exit 1; }',
  'export PATH="$runtime_bin:${runtime_node%/*}:$PATH"',
  "",
];

function wrapperText(kind) {
  switch (kind) {
    case "marked":
      return [...wrapperLines, ...runtimeBlock, ...wrapperTail].join("\n") + "\n";
    case "unsupported":
      return [...wrapperLines, "exec pm2 resurrect"].join("\n") + "\n";
    default:
      return [...wrapperLines, ...wrapperTail].join("\n") + "\n";
  }
}

function pm2ConfigText(kind) {
  if (kind === "noapps") return "module.exports = { apps: [] };\n";
  const pathEntries = ["/usr/bin", "/bin", process.env.PNPM_HOME].filter(Boolean);
  const app = {
    name: `tallowmere-${profile}`,
    script: __filename,
    args: `daemon run --profile ${profile}`,
    cwd: home,
    autorestart: true,
    env: { PATH: pathEntries.join(":"), TALLOWMERE_PROFILE: profile },
  };
  return `module.exports = {\n  apps: [${JSON.stringify(app, null, 2).replace(/\n/g, "\n  ")}],\n};\n`;
}

function place(file, kind, text) {
  if (kind === "none") {
    fs.rmSync(file, { force: true });
    return;
  }
  if (kind === "keep" && fs.existsSync(file)) {
    console.log(`Kept ${file}`);
    return;
  }
  writeAtomically(file, text, 0o644);
  console.log(`Wrote ${file}`);
}

function install() {
  console.log(`Installing the Tallowmere daemon (profile ${profile})`);
  setTimeout(() => {
    const exit = sim.get("daemonInstallExit");
    if (exit === "never") {
      console.log("Waiting for the agent service to settle…");
      setInterval(() => {}, 1 << 30);
      return;
    }
    const wrapperKind = sim.get("daemonInstallWrapper");
    const configKind = sim.get("daemonInstallPm2Config");
    place(path.join(base, "start.sh"), wrapperKind, wrapperText(wrapperKind));
    place(path.join(base, "pm2-ecosystem.config.cjs"), configKind, pm2ConfigText(configKind));
    const status = Number.parseInt(exit, 10) || 0;
    if (status !== 0) {
      console.error(`Daemon install failed: simulated failure (exit ${status})`);
      process.exit(status);
    }
    console.log("Daemon installed.");
  }, sim.number("daemonInstallDelayMs", 0));
}

function statusBody(version) {
  const body = {
    sampledAt: new Date().toISOString(),
    lifecycle: sim.get("agentLifecycle"),
    ready: sim.get("agentReady") === "true",
    version,
    busy: sim.get("agentBusy") === "true",
    queueSize: Math.trunc(sim.number("agentQueueSize", 0)),
    pid: process.pid,
    codingSession: null,
  };
  const compacting = sim.get("agentCompacting");
  if (compacting !== "") body.compacting = compacting === "null" ? null : compacting === "true";
  const coding = sim.get("agentCodingStatus");
  if (coding !== "") body.codingSession = { status: coding, taskSummary: sim.get("agentTaskSummary") };
  return body;
}

function run() {
  const version = JSON.parse(fs.readFileSync(path.join(__dirname, "..", "package.json"), "utf8")).version;
  const token = crypto.randomBytes(24).toString("hex");
  const server = http.createServer((request, response) => {
    const url = new URL(request.url, "http://127.0.0.1");
    if (request.method !== "GET" || url.pathname !== "/tui/status") {
      response.writeHead(404, { "content-type": "application/json" }).end('{"error":"not_found"}');
      return;
    }
    if (request.headers.authorization !== `Bearer ${token}`) {
      response.writeHead(401, { "content-type": "application/json" }).end('{"error":"unauthorized"}');
      return;
    }
    switch (sim.get("agentStatusReply")) {
      case "hang":
        return;
      case "error":
        response.writeHead(500, { "content-type": "application/json" }).end('{"error":"internal"}');
        return;
      case "garbage":
        response.writeHead(200, { "content-type": "application/json" }).end("{not json");
        return;
      default:
        response.writeHead(200, { "content-type": "application/json" }).end(JSON.stringify(statusBody(version)));
    }
  });
  server.listen(0, "127.0.0.1", () => {
    const { port } = server.address();
    writeAtomically(path.join(profileDir, "tui-token"), `${token}\n`, 0o600);
    writeAtomically(path.join(profileDir, "tui-port"), `${port}\n`, 0o600);
    console.log(`Tallowmere agent ${version} (profile ${profile}) listening on 127.0.0.1:${port}`);
  });
  const stop = () => {
    server.closeAllConnections();
    server.close();
    process.exit(0);
  };
  process.on("SIGTERM", stop);
  process.on("SIGINT", stop);
}

if (args[0] === "daemon" && args[1] === "install") {
  install();
} else if (args[0] === "daemon" && args[1] === "run") {
  run();
} else {
  console.error(`tallowmere: unknown command: ${args.join(" ") || "(none)"}`);
  process.exit(64);
}
