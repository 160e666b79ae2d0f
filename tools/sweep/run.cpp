// run.cpp: `gprnpv-sweep run`. The parent process owns the database; it
// forks the workers and feeds each one job indices through a pipe of its
// own (up to `depth` queued, topped up with one write() of at most
// PIPE_BUF bytes per wake, so a worker never waits for the parent). The
// results come back through memory shared with the workers, without a
// system call: each worker has a ring of `depth` results and a count of
// those written, which it raises (release) after each result; the parent
// takes what is new (acquire). A ring never overflows: the parent queues a
// job only while the worker holds fewer than `depth` jobs, results not yet
// taken included. The parent sleeps `tick` between wakes and stores what
// arrived in one transaction, so the cost of a commit is shared by many
// rows; a kill thus loses at most the solves in flight, that is those being
// solved and those of the last tick not yet committed. The shared memory
// also holds the stop flag, which makes the workers drop queued jobs at
// once when the run stops, and the job each worker is solving, so that a
// worker that dies is charged with the right one.
//
// Work list: every set, instance, pctneg, deadext, interest in the order of
// the command line; shard K/N keeps the entries whose index is K-1 modulo N,
// and what the database already holds is skipped (with --certify, also an
// optimal row that has no verdict yet, which is solved again).
//
// Ending: SIGINT or SIGTERM stops the feeding; the workers, which ignore
// SIGINT, finish the jobs they hold, and everything received is stored. A
// worker that dies loses the job it was solving (reported, not stored, so
// the next run tries it again) and is replaced. If the parent dies, the
// kernel kills the workers (PR_SET_PDEATHSIG), whose results nobody would
// take.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <new>
#include <ostream>
#include <set>

#include "driver/driver.h"
#include "network/network.h"
#include "sweep.h"

namespace sweep {
namespace {

constexpr std::size_t depth = 1024;  // jobs queued per worker: 4 KiB, one atomic write
constexpr int tick_ms = 5;

// One worker's side of the shared memory.
struct Ring {
  std::atomic<std::uint32_t> written;  // results ever written by this worker process
  std::atomic<int> solving;            // the job being solved, or -1
  Result slot[depth];                  // result n is in slot[n % depth]
};
// The shared memory: the stop flag, then one ring per worker. Its atomics
// are lock-free, hence usable across processes.
struct Shared {
  std::atomic<int> halt;  // set by the parent: drop queued jobs
  static_assert(std::atomic<int>::is_always_lock_free && std::atomic<std::uint32_t>::is_always_lock_free);
};
constexpr std::size_t ring_offset = (sizeof(Shared) + alignof(Ring) - 1) / alignof(Ring) * alignof(Ring);
std::size_t shared_size(int workers) {
  return ring_offset + sizeof(Ring) * static_cast<std::size_t>(std::max(workers, 1));
}
Ring& ring_of(void* mapped, std::size_t w) {
  return reinterpret_cast<Ring*>(static_cast<char*>(mapped) + ring_offset)[w];
}
volatile std::sig_atomic_t stop_signal = 0;

extern "C" void on_stop(int sig) { stop_signal = sig; }

std::string utc_now() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buf;
}

std::string host_name() {
  char buf[256] = {};
  if (gethostname(buf, sizeof buf - 1) != 0) return "unknown";
  return buf;
}

struct Worker {
  pid_t pid = -1;
  int job_fd = -1;       // parent's write end
  std::deque<int> held;  // job indices sent and not yet taken back, in order
  std::uint32_t taken = 0;  // results taken from the ring
};

// The worker's loop: job indices in, results into its ring, until the pipe
// ends. Indices arrive whole (the parent's writes are at most PIPE_BUF
// bytes, hence atomic) and are read many at a time.
[[noreturn]] void work(int w, int job_fd, Ring& ring, const std::atomic<int>& halt,
                       const std::vector<Job>& jobs, const std::vector<InstanceSet>& sets,
                       bool certify) {
  static_assert(depth * sizeof(int) <= PIPE_BUF, "a top-up must be one atomic write");
  std::signal(SIGINT, SIG_IGN);
  std::signal(SIGTERM, SIG_DFL);
  int queue[depth];
  for (;;) {
    ssize_t n = read(job_fd, queue, sizeof queue);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) _exit(0);
    for (ssize_t k = 0; k < n / static_cast<ssize_t>(sizeof(int)); k++) {
      if (halt.load(std::memory_order_relaxed)) _exit(0);
      int idx = queue[k];
      const Job& job = jobs[static_cast<std::size_t>(idx)];
      ring.solving.store(idx, std::memory_order_relaxed);
      Result r = solve_job(job, sets[static_cast<std::size_t>(job.set)].dir, certify);
      r.job = idx;
      r.worker = w;
      std::uint32_t count = ring.written.load(std::memory_order_relaxed);
      ring.slot[count % depth] = r;
      ring.written.store(count + 1, std::memory_order_release);
      ring.solving.store(-1, std::memory_order_relaxed);
    }
  }
}

std::string duration_text(double s) {
  if (!std::isfinite(s) || s < 0) return "?";
  long t = std::lround(s);
  char buf[32];
  if (t >= 3600)
    std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", t / 3600, t / 60 % 60, t % 60);
  else
    std::snprintf(buf, sizeof buf, "%ld:%02ld", t / 60, t % 60);
  return buf;
}

}  // namespace

int run_sweep(const RunOptions& o, std::ostream& out, std::ostream& err) {
  // Everything the user gave is checked before the database is touched.
  std::vector<InstanceSet> sets;
  std::set<std::string> seen_dirs;
  for (const std::string& d : o.set_dirs) {
    InstanceSet s = scan_set(d, o.first, o.last);
    if (seen_dirs.insert(s.dir).second) sets.push_back(std::move(s));
  }
  std::vector<Job> all;
  for (std::size_t s = 0; s < sets.size(); s++)
    for (int inst : sets[s].numbers)
      for (int p : o.pctneg)
        for (int d : o.deadext)
          for (double r : o.interest) all.push_back({static_cast<int>(s), inst, p, d, r});
  std::vector<Job> mine;
  for (std::size_t i = 0; i < all.size(); i++)
    if (static_cast<int>(i % static_cast<std::size_t>(o.shards)) == o.shard - 1)
      mine.push_back(all[i]);

  RunLock lock(o.db);
  Database db(o.db, true);

  std::set<Key> stored;
  {
    Statement s(db.handle(),
                "SELECT set_dir, instance, pctneg, deadext, interest, outcome, certificate "
                "FROM results");
    while (s.step()) {
      sqlite3_stmt* q = s.get();
      bool uncertified = sqlite3_column_type(q, 6) == SQLITE_NULL &&
                         std::string(reinterpret_cast<const char*>(sqlite3_column_text(q, 5))) ==
                             "optimal";
      if (o.certify && uncertified) continue;
      stored.insert({reinterpret_cast<const char*>(sqlite3_column_text(q, 0)),
                     sqlite3_column_int(q, 1), sqlite3_column_int(q, 2),
                     sqlite3_column_int(q, 3), sqlite3_column_double(q, 4)});
    }
  }
  std::vector<Job> jobs;
  for (const Job& j : mine)
    if (!stored.count({sets[static_cast<std::size_t>(j.set)].dir, j.instance, j.pctneg,
                       j.deadext, j.interest}))
      jobs.push_back(j);
  const std::size_t total = mine.size(), before = total - jobs.size();

  sqlite3_int64 run_id;
  {
    Statement s(db.handle(), "INSERT INTO runs(version, host, command, started) VALUES(?,?,?,?)");
    std::string version = gpr::version_text(), host = host_name(), now = utc_now();
    sqlite3_bind_text(s.get(), 1, version.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(s.get(), 2, host.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(s.get(), 3, o.command_line.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(s.get(), 4, now.c_str(), -1, SQLITE_TRANSIENT);
    s.step();
    run_id = sqlite3_last_insert_rowid(db.handle());
  }
  auto end_run = [&] {
    Statement s(db.handle(), "UPDATE runs SET ended = ? WHERE id = ?");
    std::string now = utc_now();
    sqlite3_bind_text(s.get(), 1, now.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(s.get(), 2, run_id);
    s.step();
  };

  Statement insert(db.handle(),
                   "INSERT INTO results(set_dir, instance, source, activities, arcs, pctneg, "
                   "deadext, interest, outcome, npv, passes, solve_seconds, read_seconds, "
                   "certificate) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?) "
                   "ON CONFLICT(set_dir, instance, pctneg, deadext, interest) DO UPDATE SET "
                   "source = excluded.source, activities = excluded.activities, "
                   "arcs = excluded.arcs, outcome = excluded.outcome, npv = excluded.npv, "
                   "passes = excluded.passes, solve_seconds = excluded.solve_seconds, "
                   "read_seconds = excluded.read_seconds, certificate = excluded.certificate");
  auto store = [&](const std::vector<Result>& batch) {
    if (batch.empty()) return;
    db.exec("BEGIN IMMEDIATE");
    for (const Result& r : batch) {
      const Job& j = jobs[static_cast<std::size_t>(r.job)];
      const InstanceSet& s = sets[static_cast<std::size_t>(j.set)];
      std::size_t at = static_cast<std::size_t>(
          std::lower_bound(s.numbers.begin(), s.numbers.end(), j.instance) - s.numbers.begin());
      sqlite3_stmt* q = insert.get();
      std::string outcome = outcome_text(r.failcode);
      sqlite3_bind_text(q, 1, s.dir.c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_int(q, 2, j.instance);
      sqlite3_bind_text(q, 3, s.sources[at].c_str(), -1, SQLITE_STATIC);
      if (r.activities >= 0) {
        sqlite3_bind_int(q, 4, r.activities);
        sqlite3_bind_int(q, 5, r.arcs);
      }
      sqlite3_bind_int(q, 6, j.pctneg);
      sqlite3_bind_int(q, 7, j.deadext);
      sqlite3_bind_double(q, 8, j.interest);
      sqlite3_bind_text(q, 9, outcome.c_str(), -1, SQLITE_TRANSIENT);
      if (r.failcode == gpr::fail_none) {
        sqlite3_bind_double(q, 10, r.npv);
        sqlite3_bind_int(q, 11, r.passes);
      }
      if (r.solve_seconds >= 0) sqlite3_bind_double(q, 12, r.solve_seconds);
      sqlite3_bind_double(q, 13, r.read_seconds);
      if (const char* c = certificate_text(r.certificate))
        sqlite3_bind_text(q, 14, c, -1, SQLITE_STATIC);
      insert.step();
      insert.reset();
    }
    db.exec("COMMIT");
  };

  // ------------------------------------------------------------ workers
  int nworkers = o.jobs > 0 ? o.jobs : static_cast<int>(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
  nworkers = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(nworkers), jobs.size()));
  std::vector<Worker> workers(static_cast<std::size_t>(nworkers));
  void* mapped = mmap(nullptr, shared_size(nworkers), PROT_READ | PROT_WRITE,
                      MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::runtime_error("mmap failed");
  auto* shared = new (mapped) Shared{};
  for (int w = 0; w < nworkers; w++) new (&ring_of(mapped, static_cast<std::size_t>(w))) Ring{};
  auto spawn = [&](int w) {
    Worker& x = workers[static_cast<std::size_t>(w)];
    Ring& ring = ring_of(mapped, static_cast<std::size_t>(w));
    ring.written.store(0);
    ring.solving.store(-1);
    x.taken = 0;
    x.held.clear();
    int p[2];
    if (pipe2(p, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    out.flush();
    err.flush();
    std::fflush(nullptr);
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error(std::string("fork failed: ") + std::strerror(errno));
    if (pid == 0) {
      // Nobody takes the results of a worker whose parent is gone: it ends.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent) _exit(0);
      for (const Worker& y : workers)
        if (y.job_fd >= 0) close(y.job_fd);
      close(p[1]);
      gpr::prefer_large_pages_for_state();
      work(w, p[0], ring, shared->halt, jobs, sets, o.certify);
    }
    close(p[0]);
    x.pid = pid;
    x.job_fd = p[1];
  };

  struct sigaction sa {}, old_int{}, old_term{}, old_pipe{};
  sa.sa_handler = on_stop;
  sigemptyset(&sa.sa_mask);
  stop_signal = 0;
  sigaction(SIGINT, &sa, &old_int);
  sigaction(SIGTERM, &sa, &old_term);
  struct sigaction ign {};
  ign.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ign, &old_pipe);

  for (int w = 0; w < nworkers; w++) spawn(w);

  std::size_t next = 0, done_now = 0, lost = 0;
  std::deque<int> retry;  // jobs queued behind one that killed its worker
  // Tops a worker's queue up to `depth` with one write of at most PIPE_BUF
  // bytes, which a pipe takes whole or not at all.
  auto feed = [&](Worker& w) {
    int chunk[depth];
    std::size_t n = 0;
    while (w.pid > 0 && !stop_signal && w.held.size() + n < depth &&
           (!retry.empty() || next < jobs.size())) {
      if (!retry.empty()) {
        chunk[n++] = retry.front();
        retry.pop_front();
      } else {
        chunk[n++] = static_cast<int>(next++);
      }
    }
    if (n == 0) return;
    ssize_t size = static_cast<ssize_t>(n * sizeof(int));
    if (write(w.job_fd, chunk, static_cast<std::size_t>(size)) != size) {
      for (std::size_t k = n; k-- > 0;) retry.push_front(chunk[k]);
      return;
    }
    w.held.insert(w.held.end(), chunk, chunk + n);
  };
  for (Worker& w : workers) feed(w);

  const bool tty = !o.quiet && isatty(2);
  auto t0 = std::chrono::steady_clock::now();
  auto last_shown = t0;
  auto elapsed = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  };
  auto show = [&](bool final) {
    if (o.quiet) return;
    auto now = std::chrono::steady_clock::now();
    double since = std::chrono::duration<double>(now - last_shown).count();
    if (!final && since < (tty ? 0.2 : 5.0)) return;
    if (!tty && final) return;
    last_shown = now;
    std::size_t done = before + done_now;
    double secs = elapsed(), rate = secs > 0 ? static_cast<double>(done_now) / secs : 0.0;
    double left = rate > 0 ? static_cast<double>(total - done) / rate : NAN;
    char line[160];
    if (tty) {
      int width = 30, fill = total ? static_cast<int>(width * done / total) : width;
      std::string bar(static_cast<std::size_t>(fill), '#');
      bar.resize(static_cast<std::size_t>(width), '.');
      std::snprintf(line, sizeof line, "\r[%s] %zu/%zu  %.1f solves/s  %s left ", bar.c_str(), done,
                    total, rate, duration_text(left).c_str());
      err << line << (final ? "\n" : "") << std::flush;
    } else {
      std::snprintf(line, sizeof line, "gprnpv-sweep: %zu/%zu solves, %.1f per second, %s left\n",
                    done, total, rate, duration_text(left).c_str());
      err << line << std::flush;
    }
  };

  std::vector<Result> batch;
  // Takes the new results of every worker's ring.
  auto drain = [&] {
    for (std::size_t w = 0; w < workers.size(); w++) {
      Worker& x = workers[w];
      Ring& ring = ring_of(mapped, w);
      std::uint32_t written = ring.written.load(std::memory_order_acquire);
      for (; x.taken != written; x.taken++) {
        const Result& r = ring.slot[x.taken % depth];
        auto it = std::find(x.held.begin(), x.held.end(), r.job);
        if (it != x.held.end()) x.held.erase(it);
        batch.push_back(r);
      }
    }
  };
  auto describe = [&](int idx) {
    const Job& j = jobs[static_cast<std::size_t>(idx)];
    char text[64];
    std::snprintf(text, sizeof text, " pctneg %d deadext %d interest %g", j.pctneg, j.deadext,
                  j.interest);
    return sets[static_cast<std::size_t>(j.set)].dir + "/D" + std::to_string(j.instance) + ".gpr" + text;
  };
  auto busy = [&] {
    for (const Worker& w : workers)
      if (!w.held.empty()) return true;
    return false;
  };
  bool closed = false;

  auto alive = [&] {
    for (const Worker& w : workers)
      if (w.pid > 0) return true;
    return false;
  };
  while (!jobs.empty()) {
    if (stop_signal && !closed) {
      shared->halt.store(1);
      for (Worker& w : workers)
        if (w.job_fd >= 0) close(w.job_fd), w.job_fd = -1;
      closed = true;
    }
    if (closed ? !alive() : !busy() && next >= jobs.size() && retry.empty()) break;
    poll(nullptr, 0, tick_ms);  // a signal ends the sleep early
    drain();
    // A worker that ended: what it wrote is read first, then what it held is lost.
    int status;
    pid_t pid;
    while ((pid = waitpid(-1, &status, WNOHANG)) > 0) {
      drain();
      for (std::size_t w = 0; w < workers.size(); w++) {
        Worker& x = workers[w];
        if (x.pid != pid) continue;
        x.pid = -1;
        if (x.job_fd >= 0) close(x.job_fd), x.job_fd = -1;
        bool clean = WIFEXITED(status) && WEXITSTATUS(status) == 0;  // stopped by the flag
        if (!x.held.empty() && !clean) {
          auto bad = std::find(x.held.begin(), x.held.end(),
                               ring_of(mapped, w).solving.load(std::memory_order_relaxed));
          if (bad == x.held.end()) bad = x.held.begin();
          err << "gprnpv-sweep: a worker died ("
              << (WIFSIGNALED(status) ? std::string("signal ") + std::to_string(WTERMSIG(status))
                                      : "status " + std::to_string(WEXITSTATUS(status)))
              << ") while solving " << describe(*bad) << "; not stored\n";
          lost++;
          x.held.erase(bad);
          for (auto it = x.held.rbegin(); it != x.held.rend(); ++it) retry.push_front(*it);
        }
        x.held.clear();
        if (!stop_signal && (next < jobs.size() || !retry.empty())) spawn(static_cast<int>(w));
      }
    }
    store(batch);
    done_now += batch.size();
    batch.clear();
    for (Worker& w : workers) feed(w);
    show(false);
  }
  for (Worker& w : workers)
    if (w.job_fd >= 0) close(w.job_fd), w.job_fd = -1;
  for (Worker& w : workers)
    if (w.pid > 0) waitpid(w.pid, nullptr, 0);
  munmap(mapped, shared_size(nworkers));
  end_run();
  show(true);
  sigaction(SIGINT, &old_int, nullptr);
  sigaction(SIGTERM, &old_term, nullptr);
  sigaction(SIGPIPE, &old_pipe, nullptr);

  double secs = elapsed();
  if (!o.quiet) {
    char line[256];
    std::snprintf(line, sizeof line,
                  "gprnpv-sweep: %zu of %zu solves stored in %s (%zu in this run, %.1f s, %.1f "
                  "per second)\n",
                  before + done_now, total, o.db.c_str(), done_now, secs,
                  secs > 0 ? static_cast<double>(done_now) / secs : 0.0);
    out << line;
  }
  if (stop_signal) {
    err << "gprnpv-sweep: interrupted; finished solves are stored, run the same command again to "
           "go on\n";
    return 130;
  }
  if (lost > 0) {
    err << "gprnpv-sweep: " << lost << (lost == 1 ? " solve" : " solves")
        << " lost to a dying worker; the next run tries again\n";
    return 1;
  }
  return 0;
}

}  // namespace sweep
