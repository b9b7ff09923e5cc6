-- Write load for the kill test: each thread registers installations with ids of its own,
-- {TTTTTTTT-0001-4000-8000-NNNNNNNNNNNN} (thread, count), and between them reports positions
-- for ones it registered earlier. A connection carries one request at a time, and a
-- registration is answered with the commit after it, so while one is unanswered the
-- thread's other connections send at most two more each; with up to 24 connections a
-- thread, a uid Margin registrations back has been answered, and every answer is a 200.
-- wrk calls request() once on the first thread to check the script and sends nothing for
-- that call, so uid 1 may never be registered; positions go to uid 2 on.
-- done() prints "writeload: R registered, S stored, O other answers".
local Margin = 64
local threads = {}

function setup(thread)
    table.insert(threads, thread)
    thread:set("index", #threads)
end

function init(args)
    sent = 0
    registered = 0
    stored = 0
    other = 0
    step = 0
end

local function uid(n)
    return string.format("%%7B%08x-0001-4000-8000-%012x%%7D", index, n)
end

function request()
    step = step + 1
    if step % 2 == 0 and sent > Margin then
        local n = math.random(2, sent - Margin)
        return wrk.format("GET", string.format(
            "/PosService/PosService.svc/SetPos?uid=%s&lat=%.4f&lon=%.4f",
            uid(n), 59.9 + (n % 100) / 1000, 30.3 + (n % 70) / 1000))
    end
    sent = sent + 1
    return wrk.format("GET", string.format(
        "/PosService/PosService.svc/Register?uid=%s&network=vkontakte&id=w%d-%d"
            .. "&name=Load%%20%d&smallPic=&mediumPic=&sex=1",
        uid(sent), index, sent, sent))
end

function response(status, headers, body)
    if status == 200 and body == "registered\n" then
        registered = registered + 1
    elseif status == 200 and body == "stored\n" then
        stored = stored + 1
    else
        other = other + 1
    end
end

function done(summary, latency, requests)
    local r, s, o = 0, 0, 0
    for _, thread in ipairs(threads) do
        r = r + thread:get("registered")
        s = s + thread:get("stored")
        o = o + thread:get("other")
    end
    io.write(string.format("writeload: %d registered, %d stored, %d other answers\n", r, s, o))
end
