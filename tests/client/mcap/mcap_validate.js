// Reads MCAP files with the format's own reader library and checks every
// message against the published JSON schema of its type.
//
// Usage: node mcap_validate.js FILE.mcap...   (exit status 1 on any fault)
"use strict";

const fs = require("fs");
const { McapIndexedReader, McapStreamReader } = require("@mcap/core");
const foxglove = require("@foxglove/schemas/jsonschema");
const Ajv = require("ajv");
const fzstd = require("fzstd");
const lz4 = require("lz4js");

// Compressed chunks, by the compression they name.
const decompressHandlers = {
  zstd: (data, size) => fzstd.decompress(data, new Uint8Array(Number(size))),
  lz4: (data) => Uint8Array.from(lz4.decompress(data)),
};

// The published schemas carry keywords of their own (contentEncoding).
const ajv = new Ajv({ strict: false, allErrors: true });
const published = new Map();
const faults = [];

function fault(file, text) {
  faults.push(`${file}: ${text}`);
}

function validatorFor(schema) {
  const name = schema.name;
  if (!published.has(name)) {
    const own = name.startsWith("foxglove.") ? foxglove[name.slice("foxglove.".length)] : undefined;
    published.set(name, {
      published: own ? ajv.compile(own) : undefined,
      // The schema stored in the file must itself be a usable JSON schema.
      stored: ajv.compile(JSON.parse(new TextDecoder().decode(schema.data))),
    });
  }
  return published.get(name);
}

// Every record in file order, with CRC checks, and the order of the sections.
function streamRecords(file, bytes) {
  const reader = new McapStreamReader({ validateCrcs: true, decompressHandlers });
  reader.append(bytes);
  const opcodes = [];
  let messages = 0;
  for (let record; (record = reader.nextRecord()); ) {
    opcodes.push(record.type);
    if (record.type === "Message") messages++;
  }
  if (!reader.done()) fault(file, "the stream reader did not reach the end");
  const order = opcodes.filter((t, i) => i === 0 || t !== opcodes[i - 1]).join(" ");
  const expected =
    /^Header (Schema Channel )+(Message MessageIndex )*DataEnd (Schema Channel )+(ChunkIndex )?Statistics SummaryOffset Footer $/;
  if (!expected.test(order + " ")) fault(file, `unexpected record order: ${order}`);
  return messages;
}

async function indexedMessages(file, bytes) {
  const readable = {
    size: async () => BigInt(bytes.length),
    read: async (offset, length) => bytes.subarray(Number(offset), Number(offset + length)),
  };
  const reader = await McapIndexedReader.Initialize({ readable, decompressHandlers });
  const all = [];
  for await (const message of reader.readMessages({ validateCrcs: true })) all.push(message);
  if (reader.statistics === undefined || reader.statistics.messageCount !== BigInt(all.length))
    fault(file, `statistics count ${reader.statistics?.messageCount} for ${all.length} messages`);
  for (let i = 1; i < all.length; i++)
    if (all[i].logTime < all[i - 1].logTime) fault(file, `message ${i} out of time order`);
  // A seek into the middle through the indexes finds exactly the messages of that span.
  if (all.length > 2) {
    const start = all[Math.floor(all.length / 3)].logTime;
    const end = all[Math.floor((2 * all.length) / 3)].logTime;
    let seen = 0;
    for await (const m of reader.readMessages({ startTime: start, endTime: end })) seen++;
    const want = all.filter((m) => m.logTime >= start && m.logTime <= end).length;
    if (seen !== want) fault(file, `a seek to ${start}..${end} gave ${seen} messages, not ${want}`);
  }
  return { reader, all };
}

// The messages of NAME.zstd.mcap and NAME.lz4.mcap against NAME.none.mcap.
const exported = new Map();

function sameAsUncompressed(file, all) {
  const match = /^(.*)\.(zstd|lz4|none)\.mcap$/.exec(file);
  if (!match) return;
  const text = all.map((m) => `${m.channelId} ${m.logTime} ${Buffer.from(m.data).toString()}`);
  exported.set(file, text);
  const plain = exported.get(`${match[1]}.none.mcap`);
  if (match[2] !== "none" && plain && plain.join("\n") !== text.join("\n"))
    fault(file, "the messages differ from the uncompressed export's");
}

async function check(file) {
  const bytes = new Uint8Array(fs.readFileSync(file));
  const streamed = streamRecords(file, bytes);
  const { reader, all } = await indexedMessages(file, bytes);
  if (streamed !== all.length) fault(file, `${streamed} messages in the stream, ${all.length} indexed`);
  sameAsUncompressed(file, all);
  for (const message of all) {
    const channel = reader.channelsById.get(message.channelId);
    const schema = reader.schemasById.get(channel.schemaId);
    if (channel.messageEncoding !== "json" || schema.encoding !== "jsonschema")
      fault(file, `channel ${channel.topic}: ${channel.messageEncoding} / ${schema.encoding}`);
    const data = JSON.parse(new TextDecoder("utf-8", { fatal: true }).decode(message.data));
    const validators = validatorFor(schema);
    for (const [which, validate] of Object.entries(validators)) {
      if (validate && !validate(data))
        fault(file, `${channel.topic} at ${message.logTime} against the ${which} ${schema.name}: ` +
          ajv.errorsText(validate.errors));
    }
    const stamp = data.timestamp ?? data.entities?.[0]?.timestamp ?? data.deletions?.[0]?.timestamp;
    if (stamp && BigInt(stamp.sec) * 1000000000n + BigInt(stamp.nsec) !== message.logTime)
      fault(file, `${channel.topic}: time stamp differs from the log time ${message.logTime}`);
  }
  if (!published.has("foxglove.SceneUpdate") || !published.get("foxglove.SceneUpdate").published)
    fault(file, "no scene message checked against its published schema");
  console.log(`${file}: ${all.length} messages`);
}

(async () => {
  // Uncompressed exports first, for the compressed ones to be compared with.
  const files = process.argv.slice(2).sort((a, b) => b.endsWith(".none.mcap") - a.endsWith(".none.mcap"));
  if (files.length === 0) fault("usage", "node mcap_validate.js FILE.mcap...");
  for (const file of files) {
    try {
      await check(file);
    } catch (error) {
      fault(file, String(error && error.stack ? error.stack : error));
    }
  }
  for (const text of faults.slice(0, 50)) console.error(text);
  process.exit(faults.length ? 1 : 0);
})();
