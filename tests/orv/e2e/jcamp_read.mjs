// Reads JCAMP-DX files with the npm package jcampconverter, a parser that
// shares nothing with orv, and prints what it found as one JSON document:
// per file the block's title, data type and class, JCAMP-DX version, its
// labels (core and $-labels as the parser names them) and each spectrum's
// units, point count and values (an undefined value, NaN, as null).
//
//   node jcamp_read.mjs PACKAGE_FOLDER FILE...
import { readFileSync } from "node:fs";
import { join } from "node:path";
import { pathToFileURL } from "node:url";

const [folder, ...files] = process.argv.slice(2);
const entry = pathToFileURL(join(folder, "dist", "jcampconverter.js")).href;
const { convert } = await import(entry);
const finite = (values) => Array.from(values, (v) => (Number.isNaN(v) ? null : v));
const documents = files.map((file) => {
  const result = convert(readFileSync(file, "latin1"), { keepRecordsRegExp: /.*/ });
  return result.flatten.map((block) => ({
    title: block.title,
    jcampDX: block.jcampDX,
    dataType: block.dataType,
    dataClass: block.dataClass,
    info: Object.fromEntries(
      Object.entries(block.info).filter(([name]) => name !== "DATATABLE")),
    meta: block.meta,
    spectra: block.spectra.map((spectrum) => ({
      xUnits: spectrum.xUnits,
      yUnits: spectrum.yUnits,
      nbPoints: spectrum.nbPoints,
      x: finite(spectrum.data.x),
      y: finite(spectrum.data.y),
    })),
  }));
});
process.stdout.write(JSON.stringify(documents));
