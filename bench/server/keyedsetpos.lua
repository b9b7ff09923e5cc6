-- SetPos for the installations listed in KEYS ("uid key" per line, uid percent-encoded), each
-- with its session key when the line has one, at random points of one city.
local people = {}

function setup(thread)
    thread:set("seed", math.random(1, 1000000))
end

function init(args)
    math.randomseed(seed)
    for line in io.lines(os.getenv("KEYS")) do
        local uid, key = line:match("^(%S+) ?(%S*)$")
        people[#people + 1] = {uid = uid, key = key}
    end
end

function request()
    local person = people[math.random(1, #people)]
    local headers = {}
    if person.key ~= "" then
        headers["Authorization"] = "Bearer " .. person.key
    end
    return wrk.format("GET", string.format(
        "/PosService/PosService.svc/SetPos?uid=%s&lat=%.4f&lon=%.4f", person.uid,
        59.64 + math.random() * 0.6, 29.13 + math.random() * 2.36), headers)
end
