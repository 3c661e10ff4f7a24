-- m51lsp driven by Neovim's own language server client, headless:
--   M51LSP=path/to/m51lsp WORK_DIR=folder nvim --headless -u NONE -c "luafile lsp-client.lua"
-- Diagnostics on the faulty line, go to definition, hover and completion.
-- Exits 0 when every answer is as expected, 1 with the reason otherwise.
local source = table.concat({
  'PROCESOR 51', 'BEGIN', 'STARTPROC MAIN', 'DEFINE LIMIT 10H', 'PROCEDURE MAIN', 'A LIMIT',
  'SKIP SHOW ; the display', 'FROBNICATE 3', 'ENDPROC', 'PROCEDURE SHOW', 'ENDPROC', 'END', '',
}, '\n')

local function run()
  local work = assert(os.getenv('WORK_DIR'), 'WORK_DIR is not set')
  local file = work .. '/prog.M51'
  local out = assert(io.open(file, 'w'))
  out:write(source)
  out:close()
  vim.cmd('edit ' .. file)
  local buf = vim.api.nvim_get_current_buf()
  vim.bo[buf].filetype = 'm51'
  local client = vim.lsp.start_client({ cmd = { os.getenv('M51LSP') }, name = 'm51lsp', root_dir = work })
  assert(client, 'm51lsp did not start')
  vim.lsp.buf_attach_client(buf, client)

  assert(vim.wait(10000, function() return #vim.diagnostic.get(buf) > 0 end, 20), 'no diagnostics came')
  local diagnostic = vim.diagnostic.get(buf)[1]
  assert(diagnostic.lnum == 7, 'the diagnostic is on line ' .. diagnostic.lnum .. ', not on FROBNICATE (7)')

  local function ask(method, line, character)
    local params = { textDocument = { uri = vim.uri_from_bufnr(buf) }, position = { line = line, character = character } }
    local answers = vim.lsp.buf_request_sync(buf, method, params, 5000)
    assert(answers and answers[client] and answers[client].result, method .. ': no answer')
    return answers[client].result
  end
  local definition = ask('textDocument/definition', 6, 6)
  assert(definition[1].range.start.line == 9, 'SHOW is defined on line 9, not ' .. definition[1].range.start.line)
  local hover = ask('textDocument/hover', 6, 1)
  assert(hover.contents.value:find('SKIP'), 'the hover on SKIP says: ' .. hover.contents.value)
  local items = ask('textDocument/completion', 5, 0).items
  local labels = {}
  for _, item in ipairs(items) do labels[item.label] = true end
  for _, expected in ipairs({ 'PROCEDURE', 'SHOW', 'LIMIT', 'TMOD' }) do
    assert(labels[expected], 'completion lacks ' .. expected)
  end
end

local ok, failure = pcall(run)
if ok then
  io.stdout:write('m51lsp answered Neovim as expected\n')
  vim.cmd('qall!')
else
  io.stderr:write('m51lsp with Neovim: ' .. tostring(failure) .. '\n')
  vim.cmd('cquit 1')
end
