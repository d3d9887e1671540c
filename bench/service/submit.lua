-- One accepted record per request, each on a new TLS connection: the server
-- is told to close, so wrk connects (and shakes hands) again for the next.
wrk.method = "POST"
wrk.headers["Content-Type"] = "application/json"
wrk.headers["Connection"] = "close"
-- SUBMIT_XCODE_SEC sets the time (by default 10.5 s, faster than every seeded one).
local xcode = tonumber(os.getenv("SUBMIT_XCODE_SEC") or "10.5")
wrk.body = string.format('{"device_name":"wrk bench","chip_type":"AMD EPYC 7B13","ram_gb":16,' ..
           '"xcode_build_sec":%.17g,"resin_slicer_sec":%.17g,"max_temp_c":0,"swap_used_mb":0}',
           xcode, xcode * 1.5 / 3.5)

local threads = {}
function setup(thread) table.insert(threads, thread) end

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
  io.write(string.format("request latency p50 %.1f ms, p99 %.1f ms, max %.1f ms\n",
    latency:percentile(50) / 1000, latency:percentile(99) / 1000, latency.max / 1000))
end
