// Runs one benchmark workload on DuckDB (the @duckdb/node-api package) for the
// side-by-side comparison: the setup statements, then the workload's; prints the
// answer line the cross-engine check reads and, when warm, the workload's time.
// usage: node duckdb_run.js NODE_PREFIX 'JSON request'
//   request: {threads: "1" or "" (DuckDB's default), setup: [sql], statements: [sql],
//          sums: [column index] or null (no result to check), warm: bool}
'use strict';
const { createRequire } = require('module');
const path = require('path');

async function main() {
  const [prefix, requestText] = process.argv.slice(2);
  const request = JSON.parse(requestText);
  const duckdb = createRequire(path.join(prefix, 'package.json'))('@duckdb/node-api');
  const options = request.threads ? { threads: request.threads } : {};
  const instance = await duckdb.DuckDBInstance.create(':memory:', options);
  const connection = await instance.connect();
  for (const sql of request.setup) await connection.run(sql);

  const wallStart = performance.now();
  const cpuStart = process.cpuUsage();
  let reader = null;
  for (const sql of request.statements) reader = await connection.runAndReadAll(sql);
  const cpu = process.cpuUsage(cpuStart);
  const wall = (performance.now() - wallStart) / 1000;

  if (request.sums && reader) {
    const rows = reader.getRows();
    const sums = request.sums.map(() => 0);
    for (const row of rows) {
      request.sums.forEach((column, i) => { sums[i] += Number(row[column]); });
    }
    console.log(`answer rows=${rows.length}` + sums.map((s) => ` sum=${s.toPrecision(17)}`).join(''));
  }
  if (request.warm) {
    console.log(`warm wall=${wall.toFixed(6)} user=${(cpu.user / 1e6).toFixed(6)} ` +
                `sys=${(cpu.system / 1e6).toFixed(6)}`);
  }
  connection.closeSync();
  instance.closeSync();
}

main().catch((error) => {
  console.error(`duckdb_run: ${error.message}`);
  process.exit(1);
});
