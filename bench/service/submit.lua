-- One accepted record per request for the seeded popular processor, each with a time of its
-- own in [20, 220) s (the seeded range), so that no two bodies in a run are alike. By default
-- each on a new TLS connection: the server is told to close, so wrk connects (and shakes hands)
-- again for the next. SUBMIT_KEEPALIVE=1 leaves the connection open instead.
wrk.method = "POST"
wrk.headers["Content-Type"] = "application/json"
if os.getenv("SUBMIT_KEEPALIVE") ~= "1" then wrk.headers["Connection"] = "close" end

local threads = {}
function setup(thread)
  table.insert(threads, thread)
  thread:set("thread_index", #threads - 1)
end

-- Request k of thread i is number k * 16 + i of the run (up to 16 threads);
-- a step coprime to the prime modulus keeps the first million times apart.
local sent, modulus = 0, 1000003
function request()
  local n = sent * 16 + thread_index
  sent = sent + 1
  local seconds = 20 + 200 * ((n * 7919) % modulus) / modulus
  return wrk.format(nil, nil, nil, string.format(
    '{"device_name":"wrk bench","chip_type":"AMD EPYC 7B13","ram_gb":16,' ..
    '"xcode_build_sec":%.17g,"resin_slicer_sec":%.17g,"max_temp_c":0,"swap_used_mb":0}',
    seconds, seconds * 1.5 / 3.5))
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
