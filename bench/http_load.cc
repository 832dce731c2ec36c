// A small HTTP load generator for the multi-instance benchmark
// (bench/instances.sh): N keep-alive connections, each sending GET requests
// back to back for a fixed time, then the rate and the latency percentiles.
//
//   http_load HOST PORT PATH COOKIE CONNECTIONS SECONDS [FORM | @FORM_FILE]
//
// With FORM ("start=999981&pagesize=20") every request POSTs it as an
// urlencoded form instead, as a grid's own postback does (a grid reads its
// page from the form: the last page of /demo/big.asp, say); @FORM_FILE
// posts that file's text (a whole postback, hidden state fields and all).
// Prints one line: "requests N rps R p50_ms A p99_ms B errors E". A
// response other than 200 is an error and does not count as a request.
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 7 && argc != 8) {
    std::fprintf(stderr,
                 "usage: http_load HOST PORT PATH COOKIE CONNECTIONS SECONDS [FORM | @FORM_FILE]\n");
    return 2;
  }
  std::string form = argc == 8 ? argv[7] : "";
  if (!form.empty() && form[0] == '@') {
    std::ifstream in(form.substr(1), std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "http_load: cannot read %s\n", form.c_str() + 1);
      return 2;
    }
    form.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const std::string host = argv[1], path = argv[3], cookie = argv[4];
  const int port = std::atoi(argv[2]);
  const int connections = std::max(1, std::atoi(argv[5]));
  const double seconds = std::atof(argv[6]);
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(seconds));

  std::mutex mutex;
  std::vector<double> latencies;  // GUARDED_BY(mutex), milliseconds
  std::atomic<long> errors{0};
  std::vector<std::thread> threads;
  const auto start = Clock::now();
  for (int i = 0; i < connections; ++i) {
    threads.emplace_back([&] {
      httplib::Client client(host, port);
      client.set_keep_alive(true);
      // A POST goes out as head and body: without this the body waits for
      // the server's delayed ACK (some 40 ms), which is no cost of the page.
      client.set_tcp_nodelay(true);
      client.set_read_timeout(30);
      httplib::Headers headers;
      if (!cookie.empty() && cookie != "-") headers.emplace("Cookie", cookie);
      std::vector<double> mine;
      while (Clock::now() < end) {
        auto t0 = Clock::now();
        auto res = form.empty()
                       ? client.Get(path, headers)
                       : client.Post(path, headers, form, "application/x-www-form-urlencoded");
        auto ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        if (res && res->status == 200) {
          mine.push_back(ms);
        } else {
          ++errors;
        }
      }
      std::lock_guard<std::mutex> lock(mutex);
      latencies.insert(latencies.end(), mine.begin(), mine.end());
    });
  }
  for (auto& t : threads) t.join();
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  std::sort(latencies.begin(), latencies.end());
  auto pct = [&](double p) {
    if (latencies.empty()) return 0.0;
    size_t at = static_cast<size_t>(p * static_cast<double>(latencies.size() - 1));
    return latencies[at];
  };
  std::printf("requests %zu rps %.1f p50_ms %.2f p99_ms %.2f errors %ld\n", latencies.size(),
              static_cast<double>(latencies.size()) / elapsed, pct(0.50), pct(0.99), errors.load());
  return 0;
}
