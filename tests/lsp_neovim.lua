-- maptool lsp in Neovim's own LSP client (written for 0.7, Debian 12's), as
-- tests/lsp_neovim.sh runs it: nvim --headless --clean -c 'luafile tests/lsp_neovim.lua',
-- with MAPTOOL (the program), DSC_FILE (where to write the faulty table below) and ENCODING
-- (utf-16, the protocol's default, or utf-8, which the client then offers and the server
-- must choose). The findings on their lines and columns, an edit that clears one, the
-- hover of an entry, a safe and an unsafe quick fix, warning classes from the settings,
-- fix all, formatting as maptool fmt, and shutdown with exit: each step waits for what the
-- client shows, prints what it saw when it differs, and the editor exits 0 only when
-- every step held.
local maptool = assert(os.getenv('MAPTOOL'), 'MAPTOOL is not set')
local path = assert(os.getenv('DSC_FILE'), 'DSC_FILE is not set')
local encoding = os.getenv('ENCODING') or 'utf-16'
local timeout = 10000

-- A comment of Cyrillic letters, an em dash and a ü before the Ctrl-Z on the last line: its
-- column is 22 in bytes and 18 in UTF-16 code units, so a server that counts the one way
-- and a client that counts the other put it elsewhere.
local faulty = table.concat({
  '// Таблица: кириллица — ü',
  '80,0410 // CYRILLIC CAPITAL LETTER A',
  '0x81, 0411 // CYRILLIC CAPITAL LETTER BE',
  '82, 0413 // CYRILLIC CAPITAL LETTER VE',
  '84,\t0414',
  '85, 0415 // Е — ё\026 end',
  '',
}, '\n')

local failures, checks = 0, 0
local function say(text)
  io.stderr:write('lsp_neovim (' .. encoding .. '): ' .. text .. '\n')
end
local function check(ok, what, seen)
  checks = checks + 1
  if not ok then
    failures = failures + 1
    say('FAILED: ' .. what .. (seen and ('\n  saw: ' .. seen) or ''))
  end
  return ok
end

-- The findings as check prints them: line:column-line:last column (from 1, in bytes, as
-- the editor converted them from the protocol's positions), severity, class, message and
-- the notes (related information), one finding a line.
local severities = { 'error', 'warning', 'information', 'hint' }
local function shown(bufnr)
  local diagnostics = vim.diagnostic.get(bufnr)
  table.sort(diagnostics, function(a, b)
    return a.lnum < b.lnum or (a.lnum == b.lnum and a.col < b.col)
  end)
  local lines = {}
  for _, d in ipairs(diagnostics) do
    local notes = {}
    local lsp = d.user_data and d.user_data.lsp or {}
    for _, info in ipairs(lsp.relatedInformation or {}) do
      table.insert(notes, ' | ' .. info.message)
    end
    table.insert(lines, string.format('%d:%d-%d:%d %s [%s] %s%s', d.lnum + 1, d.col + 1,
      d.end_lnum + 1, d.end_col, severities[d.severity], tostring(d.code or ''), d.message,
      table.concat(notes)))
  end
  return table.concat(lines, '\n')
end

local function wait_for_diagnostics(bufnr, expected, what)
  local want = table.concat(expected, '\n')
  vim.wait(timeout, function() return shown(bufnr) == want end, 20)
  check(shown(bufnr) == want, what .. ':\n  ' .. table.concat(expected, '\n  '),
    '\n  ' .. shown(bufnr):gsub('\n', '\n  '))
end

local function line(bufnr, n)
  return vim.api.nvim_buf_get_lines(bufnr, n - 1, n, true)[1]
end

-- The one result of a request to the one client, or nil and why not.
local function request(bufnr, method, params)
  local responses, err = vim.lsp.buf_request_sync(bufnr, method, params, timeout)
  if not responses then return nil, tostring(err) end
  for _, response in pairs(responses) do
    if response.err or response.error then
      return nil, vim.inspect(response.err or response.error)
    end
    return response.result
  end
  return nil, 'no response'
end

-- The code actions offered at a line and column (from 1) with the line's diagnostics.
local function code_actions(bufnr, lnum, col, only)
  vim.api.nvim_win_set_cursor(0, { lnum, col - 1 })
  local client = vim.lsp.get_client_by_id(vim.lsp.get_active_clients()[1].id)
  local params = vim.lsp.util.make_range_params(0, client.offset_encoding)
  params.context = { diagnostics = vim.lsp.diagnostic.get_line_diagnostics(bufnr, lnum - 1) }
  if only then params.context.only = only end
  return request(bufnr, 'textDocument/codeAction', params)
end

-- Applies an action as the client does: its edit, resolved first if the server left it
-- out, or its command, whose edit the server sends back as workspace/applyEdit.
local function apply(bufnr, action)
  local client = vim.lsp.get_active_clients()[1]
  if not action.edit and not action.command and action.data then
    action = request(bufnr, 'codeAction/resolve', action) or action
  end
  if action.edit then
    vim.lsp.util.apply_workspace_edit(action.edit, client.offset_encoding)
  elseif action.command then
    local command = type(action.command) == 'table' and action.command or action
    client.request_sync('workspace/executeCommand', command, timeout, bufnr)
  end
end

local function find_action(actions, pattern)
  for _, action in ipairs(actions or {}) do
    if action.title:find(pattern) then return action end
  end
end

local function titles(actions)
  local list = {}
  for _, action in ipairs(actions or {}) do table.insert(list, action.title) end
  return table.concat(list, '; ')
end

local function run()
  local file = assert(io.open(path, 'wb'))
  file:write(faulty)
  file:close()
  vim.cmd('edit ' .. vim.fn.fnameescape(path))
  local bufnr = vim.api.nvim_get_current_buf()

  local capabilities = vim.lsp.protocol.make_client_capabilities()
  if encoding == 'utf-8' then
    capabilities.general = { positionEncodings = { 'utf-8', 'utf-16' } }
  end
  local exit_code
  local client_id = vim.lsp.start_client({
    name = 'maptool',
    cmd = { maptool, 'lsp' },
    root_dir = vim.fn.fnamemodify(path, ':h'),
    capabilities = capabilities,
    on_init = function(client, result)
      -- 0.7 negotiates nothing itself: the encoding the server chose is the one to use.
      local chosen = result.capabilities.positionEncoding or 'utf-16'
      check(chosen == encoding, 'the server chooses ' .. encoding, chosen)
      client.offset_encoding = chosen
    end,
    on_exit = function(code) exit_code = code end,
  })
  if not check(client_id ~= nil, 'the client starts ' .. maptool .. ' lsp') then return end
  vim.lsp.buf_attach_client(bufnr, client_id)

  -- What is left once line 3 is mended; the findings of the table as written come first.
  local after_edit = {
    '4:13-4:38 warning [name-mismatch] the comment names U+0412 CYRILLIC CAPITAL LETTER VE,'
      .. ' but the code is U+0413 CYRILLIC CAPITAL LETTER GHE',
    "5:4-5:8 error [second-field-bad] the second field '<09>0414' is not a hexadecimal number"
      .. ' | a tab is not skipped as a space is: use spaces',
    '6:22-6:22 warning [ctrl-z] text after a Ctrl-Z byte is never read'
      .. ' | mapmaker ends the file at the first Ctrl-Z',
  }
  wait_for_diagnostics(bufnr, {
    "3:1-3:4 error [first-field-bad] the first field '0x81' is not a hexadecimal number"
      .. ' | write the byte as 81, without 0x',
    unpack(after_edit),
  }, 'the faults on their lines and columns')

  -- Typing over the fault (an incremental change where the server takes them).
  vim.api.nvim_buf_set_text(bufnr, 2, 0, 2, 2, { '' })
  wait_for_diagnostics(bufnr, after_edit, 'the edit that deletes 0x clears its error')

  local client = vim.lsp.get_client_by_id(client_id)
  if not check(client ~= nil, 'the server still runs', tostring(exit_code)) then return end

  -- Hover over the entry of line 2: its byte, character, code and name.
  vim.api.nvim_win_set_cursor(0, { 2, 0 })
  local hover, why = request(bufnr, 'textDocument/hover',
    vim.lsp.util.make_position_params(0, client.offset_encoding))
  local text = hover and table.concat(
    vim.lsp.util.convert_input_to_markdown_lines(hover.contents), '\n') or tostring(why)
  for _, part in ipairs({ '80', 'А', 'U%+0410', 'CYRILLIC CAPITAL LETTER A' }) do
    check(text:find(part) ~= nil, 'the hover of line 2 shows ' .. part:gsub('%%', ''), text)
  end

  -- The quick fix of the tab, applied by the client, repairs the line.
  local actions, failed = code_actions(bufnr, 5, 4)
  local fix = find_action(actions, 'tab')
  if check(fix ~= nil, 'a quick fix for the tab on line 5', failed or titles(actions)) then
    check(fix.kind == 'quickfix' and fix.isPreferred == true,
      'the tab fix is the preferred quick fix', vim.inspect(fix))
    apply(bufnr, fix)
    vim.wait(timeout, function() return line(bufnr, 5) == '84, 0414' end, 20)
    check(line(bufnr, 5) == '84, 0414', "the quick fix makes line 5 '84, 0414'", line(bufnr, 5))
    table.remove(after_edit, 2)
    wait_for_diagnostics(bufnr, after_edit, 'the fixed line has no finding')
  end

  -- The name mismatch has two unsafe fixes; the one that names the code's character.
  actions, failed = code_actions(bufnr, 4, 13)
  fix = find_action(actions, "name the code's character")
  check(find_action(actions, "use the named character's code") ~= nil,
    'both unsafe fixes of line 4 are offered', failed or titles(actions))
  if check(fix ~= nil, 'an unsafe fix naming the character', failed or titles(actions)) then
    check(fix.title:find('%(unsafe%)$') ~= nil and not fix.isPreferred,
      'the unsafe fix says so and is not preferred', vim.inspect(fix))
    apply(bufnr, fix)
    local want = '82, 0413 // CYRILLIC CAPITAL LETTER GHE'
    vim.wait(timeout, function() return line(bufnr, 4) == want end, 20)
    check(line(bufnr, 4) == want, 'the unsafe fix renames line 4', line(bufnr, 4))
    table.remove(after_edit, 1)
    wait_for_diagnostics(bufnr, after_edit, 'only the Ctrl-Z is left')
  end

  -- Warning classes from the client's settings, as check's -W words.
  client.notify('workspace/didChangeConfiguration', { settings = { warnings = { 'no-ctrl-z' } } })
  wait_for_diagnostics(bufnr, {}, 'settings that turn ctrl-z off leave no finding')

  -- Two new slips, and "fix all" through the client repairs both.
  vim.api.nvim_buf_set_lines(bufnr, 5, 5, true, { '0x86, 0416', '87,\t0417' })
  wait_for_diagnostics(bufnr, {
    "6:1-6:4 error [first-field-bad] the first field '0x86' is not a hexadecimal number"
      .. ' | write the byte as 86, without 0x',
    "7:4-7:8 error [second-field-bad] the second field '<09>0417' is not a hexadecimal number"
      .. ' | a tab is not skipped as a space is: use spaces',
  }, 'the new slips are found')
  actions, failed = code_actions(bufnr, 1, 1, { 'source.fixAll' })
  fix = actions and actions[1]
  if check(fix ~= nil and fix.kind == 'source.fixAll', 'a fix-all source action',
    failed or vim.inspect(actions)) then
    apply(bufnr, fix)
    local want = { '86, 0416', '87, 0417' }
    local function fixed() return vim.deep_equal(vim.api.nvim_buf_get_lines(bufnr, 5, 7, true), want) end
    vim.wait(timeout, fixed, 20)
    check(fixed(), 'fix all repairs both lines',
      table.concat(vim.api.nvim_buf_get_lines(bufnr, 5, 7, true), ' / '))
    wait_for_diagnostics(bufnr, {}, 'nothing is left after fix all')
  end

  -- Formatting gives what maptool fmt makes of the same text.
  local before = vim.api.nvim_buf_get_lines(bufnr, 0, -1, true)
  local input = vim.deepcopy(before)
  table.insert(input, '')
  local formatted = vim.fn.system({ maptool, 'fmt', '-' }, input)
  check(vim.v.shell_error == 0, 'maptool fmt - formats the text', formatted)
  if vim.lsp.buf.format then -- 0.8 and later
    vim.lsp.buf.format({ timeout_ms = timeout })
  else
    vim.lsp.buf.formatting_sync(nil, timeout)
  end
  local after = table.concat(vim.api.nvim_buf_get_lines(bufnr, 0, -1, true), '\n') .. '\n'
  check(after ~= table.concat(before, '\n') .. '\n', 'formatting changes line 2')
  check(after == formatted, "formatting gives maptool fmt's text:\n" .. formatted, after)

  -- shutdown, then exit: the server ends with status 0.
  vim.lsp.stop_client(client_id)
  vim.wait(timeout, function() return exit_code ~= nil end, 20)
  check(exit_code == 0, 'the server exits with 0 after shutdown and exit', tostring(exit_code))
end

local ok, err = xpcall(run, debug.traceback)
if not ok then
  failures = failures + 1
  say('FAILED: the script stopped: ' .. tostring(err))
end
say(string.format('%d checks, %d failed', checks, failures))
vim.cmd(failures == 0 and 'qall!' or 'cquit 1')
