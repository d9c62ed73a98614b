#!/usr/bin/env node
// What the npm package pst-extractor sees in a PST, as one JSON object, for tests to compare with
// what they meant to write (it is a further independent reader beside pypff, pffexport and
// readpst). Use it for Unicode files: its ANSI tree search compares node IDs as text.
//
// usage: node pst_extractor.js FILE.pst       (NODE_PATH names the folder holding pst-extractor)
// Output: {"folders": [{"path": "Top of Personal Folders/Inbox", "count": N, "items": [...]}]}
// Items: subject, message_class, sender_name, sender_email, sent and received (ISO, UTC), body
// (LF line ends, trailing whitespace stripped), to/cc/bcc [{name, email}] by PidTagRecipientType,
// attachments [{name, size, sha256}] (files only: pst-extractor 1.x hands out no embedded
// message, for Outlook's own files neither). Exit 2 when it cannot open the file.
"use strict";
const crypto = require("crypto");
const { PSTFile } = require("pst-extractor");

function attachmentOf(a) {
    const data = Buffer.alloc(Math.max(a.filesize, 0));
    const stream = a.fileInputStream;
    if (stream && data.length > 0)
        stream.readCompletely(data);
    return {
        name: a.longFilename || a.filename,
        size: data.length,
        sha256: crypto.createHash("sha256").update(data).digest("hex"),
    };
}

const iso = (t) => (t ? t.toISOString().slice(0, 19) : undefined);

function itemOf(m) {
    const item = {
        subject: m.subject,
        message_class: m.messageClass,
        sender_name: m.senderName,
        sender_email: m.senderEmailAddress,
        sent: iso(m.clientSubmitTime),
        received: iso(m.messageDeliveryTime),
        body: m.body.replace(/\r\n/g, "\n").trimEnd(),
        to: [],
        cc: [],
        bcc: [],
        attachments: [],
    };
    for (let i = 0; i < m.numberOfRecipients; i++) {
        const r = m.getRecipient(i);
        if (!r)
            continue;
        const key = { 1: "to", 2: "cc", 3: "bcc" }[r.recipientType];
        if (key)
            item[key].push({ name: r.displayName, email: r.smtpAddress || r.emailAddress });
    }
    for (let i = 0; i < m.numberOfAttachments; i++) {
        const a = m.getAttachment(i);
        if (a.attachMethod !== 5) // afEmbeddedMessage
            item.attachments.push(attachmentOf(a));
    }
    return item;
}

function walk(folder, path, out) {
    const entry = { path, count: folder.contentCount, items: [] };
    if (folder.contentCount > 0) {
        for (let m = folder.getNextChild(); m; m = folder.getNextChild())
            entry.items.push(itemOf(m));
    }
    if (path !== "") // the root folder, which pypff does not list either
        out.push(entry);
    if (folder.hasSubfolders)
        for (const sub of folder.getSubFolders())
            walk(sub, path ? `${path}/${sub.displayName}` : sub.displayName, out);
}

let file;
try {
    file = new PSTFile(process.argv[2]);
} catch (e) {
    process.stderr.write(`cannot open: ${e.message}\n`);
    process.exit(2);
}
const folders = [];
walk(file.getRootFolder(), "", folders);
process.stdout.write(JSON.stringify({ folders }) + "\n");
