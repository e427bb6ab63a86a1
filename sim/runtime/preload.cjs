"use strict";
// Loaded into every process of the runtime's Node.js. A ".node" file that starts with the stand-in mark
// is JavaScript written by the simulated Mac; anything else still goes to the real native loader.
const fs = require("node:fs");
const Module = require("node:module");

const mark = "// tallowmere-sim-addon";
const nativeLoader = Module._extensions[".node"];

Module._extensions[".node"] = function loadAddon(module, filename) {
  const head = Buffer.alloc(mark.length);
  const fd = fs.openSync(filename, "r");
  try {
    fs.readSync(fd, head, 0, mark.length, 0);
  } finally {
    fs.closeSync(fd);
  }
  if (head.toString("latin1") !== mark) return nativeLoader(module, filename);
  module._compile(fs.readFileSync(filename, "utf8"), filename);
};
