// m51sim --dap driven by Microsoft's debug adapter test client, as VS Code
// drives it: launch, a breakpoint on an M51 line (and on a C line when SDCC
// is installed), the stack, next, step back, continue, evaluate, scopes and
// variables, readMemory, disassemble and disconnect.
//   node dap-client.js M51SIM EXAMPLES_DIR WORK_DIR   (NODE_PATH: the test client)
'use strict';
const assert = require('assert');
const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');
const { DebugClient } = require('@vscode/debugadapter-testsupport');

const [m51sim, examples, work] = process.argv.slice(2);

// One adapter for `body`, which ends with a disconnect: the adapter must then exit by itself.
async function session(body) {
    const dc = new DebugClient(m51sim, '--dap', 'm51', {}, true);
    dc.defaultTimeout = 10000;
    await dc.start();
    const adapter = dc._adapterProcess;
    const exited = new Promise(resolve => adapter.on('exit', code => resolve(code)));
    try {
        await body(dc);
        const code = await Promise.race([exited, new Promise(resolve => setTimeout(() => resolve('still running'), 5000))]);
        assert.strictEqual(code, 0, 'the adapter after disconnect');
    } finally {
        dc.stopAdapter();
    }
}

async function m51Program() {
    const program = path.join(examples, 'loops.M51');
    await session(async dc => {
        await dc.hitBreakpoint({ program }, { path: program, line: 33 });
        const stack = await dc.stackTraceRequest({ threadId: 1 });
        assert.strictEqual(stack.body.stackFrames[0].name, 'MAIN');
        assert.strictEqual((await dc.evaluateRequest({ expression: 'iram[40]' })).body.result, '00');

        await dc.setBreakpointsRequest({ source: { path: program }, breakpoints: [] });
        await Promise.all([dc.nextRequest({ threadId: 1 }), dc.assertStoppedLocation('step', { line: 34 })]);
        assert.strictEqual((await dc.evaluateRequest({ expression: 'iram[40]' })).body.result, '0A');
        await Promise.all([dc.stepBackRequest({ threadId: 1 }), dc.assertStoppedLocation('step', { line: 33 })]);
        assert.strictEqual((await dc.evaluateRequest({ expression: 'iram[40]' })).body.result, '00');

        const scopes = (await dc.scopesRequest({ frameId: stack.body.stackFrames[0].id })).body.scopes;
        assert.deepStrictEqual(scopes.map(s => s.name), ['Locals', 'Globals', 'Registers', 'SFRs']);
        const registers = (await dc.variablesRequest({ variablesReference: scopes[2].variablesReference })).body.variables;
        assert.ok(registers.some(v => v.name === 'SP' && v.value === '60'), JSON.stringify(registers));

        const memory = await dc.customRequest('readMemory', { memoryReference: 'iram', offset: 0x60, count: 4 });
        assert.strictEqual(Buffer.from(memory.body.data, 'base64').length, 4);
        const code = await dc.disassembleRequest({ memoryReference: stack.body.stackFrames[0].instructionPointerReference,
                                                   instructionCount: 4 });
        assert.strictEqual(code.body.instructions.length, 4);
        assert.ok(code.body.instructions[0].instruction.length > 0);

        await dc.setBreakpointsRequest({ source: { path: program }, breakpoints: [{ line: 83 }] });
        await Promise.all([dc.continueRequest({ threadId: 1 }), dc.assertStoppedLocation('breakpoint', { line: 84 })]);
        await dc.disconnectRequest({});
    });
}

async function cProgram() {
    try {
        execFileSync('sdcc', ['--version'], { stdio: 'ignore' });
    } catch (e) {
        console.log('SDCC is not installed: the C program is left out');
        return;
    }
    const folder = path.join(work, 'timer');
    fs.rmSync(folder, { recursive: true, force: true });
    fs.cpSync(path.join(examples, 'c', 'timer'), folder, { recursive: true });
    const program = path.join(folder, 'timer.c');
    await session(async dc => {
        await dc.hitBreakpoint({ program }, { path: program, line: 20 });  // ticks++ in the handler
        const stack = (await dc.stackTraceRequest({ threadId: 1 })).body.stackFrames;
        assert.ok(stack[0].name.includes('timer0_isr'), JSON.stringify(stack[0]));
        assert.strictEqual((await dc.evaluateRequest({ expression: 'ticks', context: 'hover' })).body.result, '0');
        await dc.disconnectRequest({});
    });
}

// A promise that never settles lets node end quietly: that is a failure too.
let finished = false;
process.on('exit', code => {
    if (!finished && code === 0) {
        console.error('the conversation stopped halfway: no answer came');
        process.exitCode = 1;
    }
});

(async () => {
    await m51Program();
    await cProgram();
    finished = true;
    console.log('the debug adapter answered as a client expects');
})().catch(error => {
    console.error(error);
    process.exit(1);
});
