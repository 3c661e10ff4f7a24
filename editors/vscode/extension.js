// The M51 extension: the language client for m51lsp and the debug adapter
// m51sim --dap, both found by the settings (on the PATH by default).
'use strict';
const vscode = require('vscode');
const { LanguageClient } = require('vscode-languageclient/node');
const { execFile } = require('child_process');
const path = require('path');

let client;

function activate(context) {
    const settings = vscode.workspace.getConfiguration('m51');
    context.subscriptions.push(vscode.debug.registerDebugAdapterDescriptorFactory('m51', {
        createDebugAdapterDescriptor() {
            const simulator = vscode.workspace.getConfiguration('m51').get('simulatorPath') || 'm51sim';
            return new vscode.DebugAdapterExecutable(simulator, ['--dap']);
        },
    }));
    // F5 without a launch.json debugs the file in the editor.
    context.subscriptions.push(vscode.debug.registerDebugConfigurationProvider('m51', {
        resolveDebugConfiguration(folder, config) {
            if (!config.type && !config.request && !config.name) {
                const editor = vscode.window.activeTextEditor;
                if (editor && ['m51', 'asm8051', 'c'].includes(editor.document.languageId)) {
                    return { type: 'm51', name: 'Debug on m51sim', request: 'launch', program: '${file}', stopOnEntry: true };
                }
            }
            return config.program ? config : undefined;
        },
    }));
    const server = { command: settings.get('languageServerPath') || 'm51lsp', args: ['--stdio'] };
    client = new LanguageClient('m51lsp', 'M51 language server', { run: server, debug: server }, {
        documentSelector: [{ scheme: 'file', language: 'm51' }, { scheme: 'file', language: 'asm8051' }],
    });
    client.start();
    setUpClangd(settings.get('languageServerPath') || 'm51lsp');
}

// C projects (their .c files or NAME.m51proj): clangd learns SDCC's keywords
// from the files `m51lsp --clangd FOLDER` writes (the user's own are kept).
async function setUpClangd(server) {
    const files = await vscode.workspace.findFiles('**/*.{c,m51proj}', '**/{node_modules,build}/**', 200);
    const folders = new Set(files.map(file => path.dirname(file.fsPath)));
    for (const folder of folders)
        execFile(server, ['--clangd', folder], () => {});
}

function deactivate() {
    return client ? client.stop() : undefined;
}

module.exports = { activate, deactivate };
