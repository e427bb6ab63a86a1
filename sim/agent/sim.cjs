"use strict";
// The simulated Mac's state. Runtime preparation rewrites this file in the installed copy of the package
// with the absolute path of the simulated Mac, since the copy no longer sits beside it.
module.exports = require("../lib/state.cjs");
