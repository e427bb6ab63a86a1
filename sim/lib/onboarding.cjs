#!/usr/bin/env node
"use strict";
// The onboarding service of the simulated Mac, on the loopback interface at the port of the world's
// onboardingServiceUrl (port 0: a free one, written back into the state once listening).
//   onboarding.cjs start                      start the service for this world (ends a running one first)
//   onboarding.cjs stop                       end it
//   onboarding.cjs serve                      the service itself (what start runs, detached)
//   onboarding.cjs owner open|attempt|complete
//                                             what the owner does on the setup page: open it (prints the
//                                             live page, without its token), start a binding attempt
//                                             (pending), complete the binding (after onboardingCompleteDelayMs)
// The service keeps its sessions in $TALLOWMERE_SIM_STATE.d/onboarding.json and notes every request
// (method, path, whether its token was right; never a token) in $TALLOWMERE_SIM_STATE.d/onboarding-requests.
const crypto = require("node:crypto");
const fs = require("node:fs");
const http = require("node:http");
const path = require("node:path");
const { spawn } = require("node:child_process");
const state = require("./state.cjs");

const stateFile = process.env.TALLOWMERE_SIM_STATE;
if (!stateFile) {
  console.error("onboarding: set TALLOWMERE_SIM_STATE to the state file's path");
  process.exit(2);
}
const dir = `${stateFile}.d`;
const files = {
  record: path.join(dir, "onboarding.json"),
  requests: path.join(dir, "onboarding-requests"),
  pid: path.join(dir, "onboarding.pid"),
  log: path.join(dir, "onboarding.log"),
};

function readRecord() {
  try {
    return JSON.parse(fs.readFileSync(files.record, "utf8"));
  } catch {
    return { session: null, completeAt: null };
  }
}

function writeRecord(record) {
  fs.mkdirSync(dir, { recursive: true });
  const tmp = `${files.record}.${process.pid}`;
  fs.writeFileSync(tmp, JSON.stringify(record), { mode: 0o600 });
  fs.renameSync(tmp, files.record);
}

const liveSession = (record) => (record.session && record.session.expiresAt > Date.now() ? record.session : null);
const complete = (record) =>
  state.get("onboardingBinding") === "complete" || (record.completeAt !== null && Date.now() >= record.completeAt);
const isoSeconds = (ms) => new Date(ms).toISOString().replace(/\.\d+Z$/, "Z");

function send(response, status, body, headers = {}) {
  const text = typeof body === "string" ? body : JSON.stringify(body);
  const reply = state.get("onboardingReply");
  const go = () => {
    if (reply === "error") return response.writeHead(500, { "Content-Type": "application/json" }).end("{}");
    if (reply === "garbage") return response.writeHead(200, { "Content-Type": "text/html" }).end("<html>oops");
    response.writeHead(status, { "Content-Type": "application/json", ...headers }).end(text);
  };
  if (reply === "slow") setTimeout(go, state.number("onboardingSlowMs", 3000));
  else go();
}

function handle(request, response) {
  const url = new URL(request.url, "http://localhost");
  const segments = url.pathname.split("/").slice(1).map((s) => {
    try {
      return decodeURIComponent(s);
    } catch {
      return null;
    }
  });
  const bearer = /^Bearer (.+)$/.exec(request.headers.authorization || "");
  const token = bearer ? bearer[1] : null;
  const record = readRecord();
  const session = liveSession(record);
  const agent = state.get("onboardingAgent");
  const note = (auth) =>
    fs.appendFileSync(files.requests, `${request.method} ${url.pathname} auth=${auth} host=${request.headers.host}\n`);

  // The setup page itself, as a browser would show it.
  if (request.method === "GET" && segments.length === 3 && segments[0] === "owner" && segments[2] === "setup") {
    note("none");
    response.writeHead(200, { "Content-Type": "text/html; charset=utf-8" });
    return response.end("<!doctype html><title>绑定 Channel</title><p>Tallowmere 模拟绑定页面</p>\n");
  }
  if (segments.length !== 4 || segments[0] !== "api" || segments[1] !== "agents") {
    note(token ? "present" : "none");
    return send(response, 404, { error: "not_found" });
  }
  const [, , name, endpoint] = segments;

  if (state.get("onboardingReply") === "redirect") {
    // Somewhere else: the same service under another origin, which a careful client does not follow.
    note(token ? "present" : "none");
    const port = request.socket.localPort;
    response.writeHead(302, { Location: `http://127.0.0.1:${port}${url.pathname}` });
    return response.end();
  }

  if (endpoint === "owner-provisioning" && (request.method === "GET" || request.method === "POST")) {
    const authorised = token !== null && token === state.get("serviceApiKey");
    note(authorised ? "ok" : token ? "bad" : "none");
    if (!authorised) return send(response, 401, { error: "unauthorized" });
    if (name !== agent) return send(response, 404, { error: "unknown_agent" });
    if (request.method === "GET") {
      if (complete(record)) return send(response, 200, { onboardingComplete: true });
      const liveMode = state.get("onboardingLiveSession");
      const live = liveMode === "agent" || (liveMode === "auto" && session !== null);
      const body = { onboardingComplete: false, hasLiveSession: live };
      if (live && session) body.expiresAt = isoSeconds(session.expiresAt);
      return send(response, 200, body);
    }
    if (state.get("onboardingNextPost") === "conflict") {
      state.set("onboardingNextPost", "created");
      return send(response, 409, { error: "state_changed" });
    }
    if (complete(record)) return send(response, 409, { error: "already_complete" });
    const fresh = {
      token: crypto.randomBytes(24).toString("base64url"),
      expiresAt: Date.now() + state.number("onboardingSessionSeconds", 600) * 1000,
      attempts: [],
    };
    writeRecord({ ...record, session: fresh });
    const origin = new URL(state.get("onboardingServiceUrl")).origin;
    return send(response, 201, {
      setupUrl: `${origin}/owner/${encodeURIComponent(name)}/setup#${fresh.token}`,
      expiresAt: isoSeconds(fresh.expiresAt),
    });
  }

  if (endpoint === "setup" && request.method === "GET") {
    const usable = state.get("onboardingLiveSession") !== "none" && session !== null;
    const authorised = usable && token === session.token;
    note(authorised ? "ok" : token ? "bad" : "none");
    if (name !== agent) return send(response, 404, { error: "unknown_agent" });
    if (!authorised) return send(response, 401, { error: "unauthorized" });
    return send(response, 200, { liveAttempts: session.attempts });
  }
  note(token ? "present" : "none");
  send(response, 405, { error: "method_not_allowed" });
}

function serve() {
  const configured = new URL(state.get("onboardingServiceUrl"));
  const server = http.createServer(handle);
  server.on("error", (error) => {
    console.error(`onboarding: cannot listen on ${configured.host}: ${error.message}`);
    process.exit(1);
  });
  server.listen(Number(configured.port || 80), "127.0.0.1", () => {
    if (!configured.port || configured.port === "0") {
      configured.port = String(server.address().port);
      state.set("onboardingServiceUrl", configured.origin);
    }
    fs.writeFileSync(files.pid, `${process.pid}\n`);
    console.log(`onboarding: serving ${configured.origin}`);
  });
  // The world is gone when its state file is: so is its service.
  setInterval(() => fs.existsSync(stateFile) || process.exit(0), 1000);
}

// The pid of this world's running service, if it is one.
function runningPid() {
  let pid;
  try {
    pid = Number(fs.readFileSync(files.pid, "utf8"));
    const command = fs.readFileSync(`/proc/${pid}/cmdline`, "utf8");
    return command.includes("onboarding.cjs") && command.includes("serve") ? pid : null;
  } catch {
    return null;
  }
}

function stop() {
  const pid = runningPid();
  if (pid) process.kill(pid, "SIGTERM");
  fs.rmSync(files.pid, { force: true });
}

function start() {
  stop();
  fs.mkdirSync(dir, { recursive: true });
  const log = fs.openSync(files.log, "a");
  const child = spawn(process.execPath, [__filename, "serve"], { detached: true, stdio: ["ignore", log, log] });
  child.unref();
  // Ready once it has written its pid: the state then names its port.
  const deadline = Date.now() + 5000;
  const wait = () => {
    if (runningPid()) return;
    // A world may name an address nobody can serve (a test of a broken configuration): it has no service.
    if (child.exitCode !== null || Date.now() > deadline) {
      console.error(`onboarding: the service did not start (see ${files.log})`);
      return;
    }
    setTimeout(wait, 20);
  };
  wait();
}

function owner(action) {
  const record = readRecord();
  const session = liveSession(record);
  if (!session) {
    console.error("onboarding: no live setup page (the application has not asked for one, or it expired)");
    process.exit(1);
  }
  switch (action) {
    case "open":
      console.log(`${new URL(state.get("onboardingServiceUrl")).origin}/owner/${state.get("onboardingAgent")}/setup`);
      return;
    case "attempt":
      session.attempts.push({ status: "pending" });
      break;
    case "complete":
      for (const attempt of session.attempts) attempt.status = "accepted";
      record.completeAt = Date.now() + state.number("onboardingCompleteDelayMs", 0);
      break;
    default:
      console.error("usage: onboarding.cjs owner open|attempt|complete");
      process.exit(2);
  }
  writeRecord({ ...record, session });
}

const [command, argument] = process.argv.slice(2);
if (command === "serve") serve();
else if (command === "start") start();
else if (command === "stop") stop();
else if (command === "owner") owner(argument);
else {
  console.error("usage: onboarding.cjs start | stop | serve | owner open|attempt|complete");
  process.exit(2);
}
