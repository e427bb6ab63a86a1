"use strict";
// The simulated Mac's package registry, on loopback:
//   node registry.cjs serve DIR     serve GET /tallowmere/beta (the dist-tag document of publishedBeta, as
//                                   registryReply says); write DIR/url and DIR/pid once listening; end
//                                   when the world's state file is gone or DIR/pid names another process
//   node registry.cjs resolve TAG   what pnpm does for tallowmere@TAG: ask the configured registry
//                                   (npm_config_registry, else the registry of NPM_CONFIG_USERCONFIG or
//                                   ~/.npmrc) and print the version; pnpm-like errors, exit 1
const fs = require("node:fs");
const http = require("node:http");
const os = require("node:os");
const path = require("node:path");
const state = require("./state.cjs");

const packageName = "tallowmere";
const betaPath = `/${packageName}/beta`;
const movedPath = `/${packageName}/beta-moved`;
const oversizedBytes = 512 * 1024 + 1024; // beyond the application's limit
const dripMs = 250;

function document(base) {
  const version = state.get("publishedBeta");
  return {
    name: packageName,
    version,
    dist: { tarball: `${base}${packageName}/-/${packageName}-${version}.tgz` },
  };
}

function send(response, status, body, type = "application/json") {
  response.writeHead(status, { "content-type": type, "content-length": Buffer.byteLength(body) });
  response.end(body);
}

// One byte at a time, until the document is out or the client has gone.
function drip(response, body) {
  response.writeHead(200, { "content-type": "application/json" });
  let next = 0;
  const timer = setInterval(() => {
    if (next === body.length || response.destroyed) {
      clearInterval(timer);
      response.end();
      return;
    }
    response.write(body[next++]);
  }, dripMs);
}

function answer(request, response, base) {
  const { pathname } = new URL(request.url, base);
  const body = JSON.stringify(document(base));
  if (request.method !== "GET" || (pathname !== betaPath && pathname !== movedPath))
    return send(response, 404, '{"error":"Not found"}');
  if (pathname === movedPath) return send(response, 200, body);
  switch (state.get("registryReply")) {
    case "notfound":
      return send(response, 404, '{"error":"Not found"}');
    case "error":
      return send(response, 500, '{"error":"Internal Server Error"}');
    case "garbage":
      return send(response, 200, "<html><body>registry maintenance</body></html>", "text/html");
    case "oversized":
      return send(response, 200, JSON.stringify({ ...document(base), readme: "x".repeat(oversizedBytes) }));
    case "drip":
      return drip(response, body);
    case "redirect":
      response.writeHead(302, { location: movedPath, "content-length": 0 });
      return response.end();
    default:
      return send(response, 200, body);
  }
}

function writeAtomically(file, text) {
  fs.writeFileSync(`${file}.${process.pid}`, text);
  fs.renameSync(`${file}.${process.pid}`, file);
}

function serve(dir) {
  const stateFile = process.env.TALLOWMERE_SIM_STATE;
  const server = http.createServer((request, response) => {
    answer(request, response, `http://127.0.0.1:${server.address().port}/`);
  });
  server.listen(0, "127.0.0.1", () => {
    writeAtomically(path.join(dir, "pid"), `${process.pid}\n`);
    writeAtomically(path.join(dir, "url"), `http://127.0.0.1:${server.address().port}/\n`);
  });
  // A world that was thrown away without a shutdown does not leave its registry behind.
  setInterval(() => {
    let owner = "";
    try {
      owner = fs.readFileSync(path.join(dir, "pid"), "utf8").trim();
    } catch {}
    if (!stateFile || !fs.existsSync(stateFile) || owner !== String(process.pid)) process.exit(0);
  }, 1000);
}

function npmrcRegistry(file) {
  let text;
  try {
    text = fs.readFileSync(file, "utf8");
  } catch {
    return undefined;
  }
  let value;
  for (const line of text.split("\n")) {
    const match = /^\s*registry\s*=\s*(.*?)\s*$/.exec(line);
    if (match) value = match[1];
  }
  return value;
}

function configuredRegistry() {
  const variable = Object.keys(process.env).find((name) => name.toLowerCase() === "npm_config_registry");
  if (variable && process.env[variable]) return process.env[variable];
  return npmrcRegistry(process.env.NPM_CONFIG_USERCONFIG || path.join(os.homedir(), ".npmrc"));
}

function fail(code, message) {
  process.stderr.write(` ${code}  ${message}\n`);
  process.exit(1);
}

function get(url, redirects = 5) {
  http
    .get(url, { headers: { accept: "application/json" }, timeout: 60000 }, (response) => {
      const status = response.statusCode;
      if ([301, 302, 303, 307, 308].includes(status) && response.headers.location && redirects > 0) {
        response.resume();
        return get(new URL(response.headers.location, url).href, redirects - 1);
      }
      let body = "";
      response.setEncoding("utf8");
      response.on("data", (chunk) => (body += chunk));
      response.on("end", () => {
        if (status !== 200) fail(`ERR_PNPM_FETCH_${status}`, `GET ${url}: ${http.STATUS_CODES[status]} - ${status}`);
        let version;
        try {
          version = JSON.parse(body).version;
        } catch {}
        if (typeof version !== "string") fail("ERR_PNPM_BROKEN_METADATA_JSON", `Broken metadata from ${url}`);
        process.stdout.write(`${version}\n`);
      });
    })
    .on("timeout", function () {
      this.destroy(new Error("timed out"));
    })
    .on("error", (error) => fail("ERR_PNPM_META_FETCH_FAIL", `GET ${url}: ${error.message}`));
}

function resolve(tag) {
  const registry = configuredRegistry();
  if (!registry) fail("ERR_PNPM_NO_REGISTRY", "No registry is configured");
  get(`${registry.replace(/\/*$/, "/")}${packageName}/${encodeURIComponent(tag)}`);
}

const [command, argument] = process.argv.slice(2);
if (command === "serve" && argument) serve(argument);
else if (command === "resolve" && argument) resolve(argument);
else {
  process.stderr.write("usage: registry.cjs serve DIR | resolve TAG\n");
  process.exit(2);
}
