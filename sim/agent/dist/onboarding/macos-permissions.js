"use strict";
// The agent's permission probes, answered from the simulated Mac's state: granted, denied, error (the
// probe throws) or slow (granted after permissionSlowMs).
const sim = require("../../sim.cjs");

function probe(key) {
  const answer = sim.get(key);
  switch (answer) {
    case "granted":
      return Promise.resolve(true);
    case "denied":
      return Promise.resolve(false);
    case "slow":
      return new Promise((resolve) => setTimeout(() => resolve(true), sim.number("permissionSlowMs", 3000)));
    default:
      return Promise.reject(new Error(`${key} probe failed (simulated: ${answer || "no answer"})`));
  }
}

exports.checkScreenRecordingPermission = async function checkScreenRecordingPermission() {
  return probe("screenRecording");
};

exports.checkAutomationPermission = async function checkAutomationPermission() {
  return probe("automation");
};

exports.checkFullDiskAccessPermission = async function checkFullDiskAccessPermission() {
  return probe("fullDiskAccess");
};
