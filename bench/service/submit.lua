-- One accepted record per request, by default each on a new TLS connection:
-- the server is told to close, so wrk connects (and shakes hands) again for
-- the next. SUBMIT_KEEPALIVE=1 leaves the connection open instead.
wrk.method = "POST"
wrk.headers["Content-Type"] = "application/json"
if os.getenv("SUBMIT_KEEPALIVE") ~= "1" then wrk.headers["Connection"] = "close" end
-- SUBMIT_XCODE_SEC sets the time (by default 10.5 s, faster than every seeded
-- one). SUBMIT_SPREAD_SEC > 0 gives every request its own time in
-- [SUBMIT_XCODE_SEC, SUBMIT_XCODE_SEC + SUBMIT_SPREAD_SEC), so that no two
-- bodies in a run are alike.
local xcode = tonumber(os.getenv("SUBMIT_XCODE_SEC") or "10.5")
local spread = tonumber(os.getenv("SUBMIT_SPREAD_SEC") or "0")
local function body(seconds)
  return string.format('{"device_name":"wrk bench","chip_type":"AMD EPYC 7B13","ram_gb":16,' ..
    '"xcode_build_sec":%.17g,"resin_slicer_sec":%.17g,"max_temp_c":0,"swap_used_mb":0}',
    seconds, seconds * 1.5 / 3.5)
end
wrk.body = body(xcode)

local threads = {}
function setup(thread)
  table.insert(threads, thread)
  thread:set("thread_index", #threads - 1)
end

-- Request k of thread i is number k * 16 + i of the run (up to 16 threads);
-- a step coprime to the prime modulus keeps the first million times apart.
local sent, modulus = 0, 1000003
function init(args)
  if spread > 0 then
    request = function()
      local n = sent * 16 + thread_index
      sent = sent + 1
      return wrk.format(nil, nil, nil, body(xcode + spread * ((n * 7919) % modulus) / modulus))
    end
  end
end

statuses = {}
function response(status, headers, body)
  statuses[status] = (statuses[status] or 0) + 1
end

function done(summary, latency, requests)
  local total = {}
  for _, t in ipairs(threads) do
    for status, n in pairs(t:get("statuses")) do total[status] = (total[status] or 0) + n end
  end
  for status, n in pairs(total) do
    io.write(string.format("status %d: %d (%.1f/s)\n", status, n, n / (summary.duration / 1e6)))
  end
  local e = summary.errors
  io.write(string.format("socket errors: %d (connect %d, read %d, write %d, timeout %d)\n",
    e.connect + e.read + e.write + e.timeout, e.connect, e.read, e.write, e.timeout))
  io.write(string.format("request latency p50 %.1f ms, p99 %.1f ms, max %.1f ms\n",
    latency:percentile(50) / 1000, latency:percentile(99) / 1000, latency.max / 1000))
end
