"use strict";
// Reads XML property lists for the simulated Mac's launchctl and plutil.
//   node plist.cjs print FILE | extract KEYPATH FILE | lint FILE
const fs = require("node:fs");

function decode(text) {
  return text.replace(/&(#x[0-9a-fA-F]+|#[0-9]+|amp|lt|gt|quot|apos);/g, (_, entity) => {
    if (entity[0] === "#") {
      return String.fromCodePoint(entity[1] === "x" ? parseInt(entity.slice(2), 16) : parseInt(entity.slice(1), 10));
    }
    return { amp: "&", lt: "<", gt: ">", quot: '"', apos: "'" }[entity];
  });
}

function parse(xml) {
  const body = xml
    .replace(/^\uFEFF?\s*<\?xml[^>]*\?>/, "")
    .replace(/^\s*<!DOCTYPE[^>]*>/, "")
    .replace(/<!--[\s\S]*?-->/g, "");
  const tokens = body.match(/<[^>]+>|[^<]+/g) || [];
  let at = 0;
  const isBlank = (token) => !token.startsWith("<") && token.trim() === "";
  const next = () => {
    while (at < tokens.length && isBlank(tokens[at])) at++;
    if (at >= tokens.length) throw new Error("unexpected end of property list");
    return tokens[at++];
  };
  const text = (tag) => {
    let value = "";
    while (at < tokens.length && !tokens[at].startsWith("<")) value += tokens[at++];
    if (tokens[at++] !== `</${tag}>`) throw new Error(`unterminated <${tag}>`);
    return decode(value);
  };
  const value = () => {
    const token = next();
    switch (token) {
      case "<string>": return text("string");
      case "<string/>": return "";
      case "<integer>": {
        const number = Number(text("integer").trim());
        if (!Number.isInteger(number)) throw new Error("bad <integer>");
        return number;
      }
      case "<real>": return Number(text("real").trim());
      case "<true/>": return true;
      case "<false/>": return false;
      case "<date>": return new Date(text("date").trim());
      case "<data>": return Buffer.from(text("data").replace(/\s+/g, ""), "base64");
      case "<array/>": return [];
      case "<dict/>": return {};
      case "<array>": {
        const list = [];
        for (;;) {
          while (at < tokens.length && isBlank(tokens[at])) at++;
          if (tokens[at] === "</array>") { at++; return list; }
          list.push(value());
        }
      }
      case "<dict>": {
        const dict = {};
        for (;;) {
          const key = next();
          if (key === "</dict>") return dict;
          if (key !== "<key>") throw new Error(`expected <key>, found ${key}`);
          const name = text("key");
          dict[name] = value();
        }
      }
      default: throw new Error(`unexpected ${token}`);
    }
  };
  if (next() !== '<plist version="1.0">') throw new Error("not a property list");
  const root = value();
  if (next() !== "</plist>") throw new Error("content after the root object");
  return root;
}

function readFile(file) {
  return parse(fs.readFileSync(file, "utf8"));
}

function lookup(root, keyPath) {
  let value = root;
  for (const part of keyPath.split(".")) {
    if (value === null || typeof value !== "object" || !(part in value)) return undefined;
    value = value[part];
  }
  return value;
}

function show(value, indent = "") {
  if (Array.isArray(value)) {
    const items = value.map((item, i) => `${indent}  ${i} => ${show(item, indent + "  ")}`);
    return `[\n${items.join("\n")}${items.length ? "\n" : ""}${indent}]`;
  }
  if (value && typeof value === "object" && !(value instanceof Date) && !Buffer.isBuffer(value)) {
    const items = Object.keys(value).map((key) => `${indent}  ${JSON.stringify(key)} => ${show(value[key], indent + "  ")}`);
    return `{\n${items.join("\n")}${items.length ? "\n" : ""}${indent}}`;
  }
  return typeof value === "string" ? JSON.stringify(value) : String(value);
}

module.exports = { parse, readFile, lookup };

if (require.main === module) {
  const [command, ...args] = process.argv.slice(2);
  try {
    if (command === "print") {
      console.log(show(readFile(args[0])));
    } else if (command === "lint") {
      readFile(args[0]);
      console.log(`${args[0]}: OK`);
    } else if (command === "extract") {
      const value = lookup(readFile(args[1]), args[0]);
      if (value === undefined) throw new Error(`No value at that key path ${args[0]}`);
      if (value !== null && typeof value === "object") throw new Error(`Value at ${args[0]} is a container`);
      process.stdout.write(String(value) + "\n");
    } else {
      throw new Error("usage: plist.cjs print FILE | extract KEYPATH FILE | lint FILE");
    }
  } catch (error) {
    console.error(error.message);
    process.exit(1);
  }
}
