"use strict";
// What the runtime's accessibility-prompt.node does in the simulated Mac: check(prompt) reports whether
// Node.js is trusted for Accessibility; a prompt grants trust when accessibilityNodeGrantOnPrompt is 1
// (the user allows at once).
const state = require("../lib/state.cjs");

exports.check = function check(prompt) {
  if (state.get("accessibilityNode") === "granted") return true;
  if (prompt === true && state.get("accessibilityNodeGrantOnPrompt") === "1") {
    state.set("accessibilityNode", "granted");
    return true;
  }
  return false;
};
