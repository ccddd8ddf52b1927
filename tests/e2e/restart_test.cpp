// Runs that end early: a job killed with SIGKILL and continued from its
// checkpoint gives the files of an uninterrupted run byte for byte (field
// output and energy balance included); damaged
// checkpoints, another process count or another deck are refused; a stop
// signal ends the run after its step with a checkpoint and a non-zero
// status; and every fault of the model or of "Comm" ends the run within
// seconds with a message and a non-zero status.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "control/checkpoint.hpp"
#include "model/model.hpp"
#include "results.hpp"
#include "testutil.hpp"
#include "texts.hpp"

using namespace testutil;

namespace {

const char* const kResults[] = {"result_curv.dat", "result_anim.dat", "sovra.rst"};

std::string deck_name(int p) { return std::string(1, static_cast<char>('a' + p)); }

// A plastic bar hitting a rigid plane, with a checkpoint every `chkp` steps
// and, when `fields` is given, field output at that interval and the energy
// balance. On one process a finer mesh and a longer run (some thousand
// steps, a few seconds), so that it can be killed in the middle; on several
// processes, sharing the cores of the test machine, a coarse mesh and a
// short run.
void makemodel(const fs::path& dir, int nprocs, int chkp, const std::string& endtime,
               const std::string& fields = "", const std::string& blocks = "") {
    const std::string size = nprocs == 1 ? "--nx 8 --ny 8 --nz 20" : "--nx 4 --ny 4 --nz 10";
    const std::string extra =
        fields.empty() ? " --fields off --energy off" : " --fields " + fields + " --energy on";
    const std::string mesh =
        exe("hexdyn-mesh") + " box " + size + " --lx 0.01 --ly 0.01 --lz 0.025 --endtime " +
        endtime +
        " --outtime 2e-6 --report 500 --material \"pla2 7800 2e11 0.3 4e8 1e9\" --velocity "
        "1,0,0,-150 --rigid 3,0.0 --curve seqv,1 --curve ener" +
        extra + " -o whole --comm";
    RunResult r = run_command(mesh, dir, 60);
    ASSERT_EQ(r.status, 0) << r.out;
    std::string deck = read_file(dir / "whole");
    deck.insert(deck.rfind("endi"), "chkp " + std::to_string(chkp) + "\n" + blocks);
    write_file(dir / "whole", deck);
    if (nprocs == 1) {
        write_file(dir / "a", deck);
    } else {
        r = run_command(exe("hexdyn-partition") + " whole " + std::to_string(nprocs), dir, 60);
        ASSERT_EQ(r.status, 0) << r.out;
    }
}

// The model of the kill tests: the second checkpoint early in the run, and
// several field frames and energy records between two checkpoints.
void killmodel(const fs::path& dir, int nprocs, const std::string& blocks = "") {
    if (nprocs == 1)
        makemodel(dir, 1, 300, "1e-3", "2e-5", blocks);
    else
        makemodel(dir, nprocs, 20, "3e-5", "3e-6", blocks);
}

RunResult restart(const fs::path& dir, int nprocs, int timeout_s = 60) {
    return run_command(
        mpiexec() + " -n " + std::to_string(nprocs) + " " + exe("hexdyn") + " --restart", dir,
        timeout_s);
}

// Starts the job, waits until its second checkpoint exists, waits `delay_ms`
// more and kills every process of the job with SIGKILL.
RunResult runandkill(const fs::path& dir, int nprocs, int delay_ms) {
    const std::string script =
        mpiexec() + " -n " + std::to_string(nprocs) + " " + exe("hexdyn") +
        " > run.log 2>&1 &\n"
        "job=$!\n"
        "for i in $(seq 1 600); do [ -f achkp.2 ] && break; sleep 0.02; done\n"
        "sleep " +
        std::to_string(delay_ms / 1000.0) +
        "\n"
        "for p in $(pgrep -P $job); do for c in $(pgrep -P $p); do kill -KILL $c; done; done\n"
        "wait $job\n"
        "echo status $?\n";
    return run_command(script, dir, 60);
}

void expectsame(const fs::path& a, const fs::path& b, const std::string& f) {
    const std::string x = read_file(a / f), y = read_file(b / f);
    EXPECT_EQ(x.size(), y.size()) << f;
    EXPECT_TRUE(x == y) << f << " differs";
}

std::set<std::string> names(const fs::path& dir) {
    std::set<std::string> n;
    if (fs::is_directory(dir))
        for (const auto& e : fs::directory_iterator(dir)) n.insert(e.path().filename().string());
    return n;
}

// The result files of every process, and the energy balance and every field
// file when the run of `a` has them (the same set of field files in both).
void expectsamefiles(const fs::path& a, const fs::path& b, int nprocs) {
    for (int p = 0; p < nprocs; ++p)
        for (const char* tail : kResults) expectsame(a, b, deck_name(p) + tail);
    if (fs::exists(a / "energy.dat")) expectsame(a, b, "energy.dat");
    if (!fs::exists(a / "field.pvd")) return;
    expectsame(a, b, "field.pvd");
    const std::set<std::string> fa = names(a / "field"), fb = names(b / "field");
    EXPECT_EQ(fa, fb);
    EXPECT_GT(fa.size(), 8u);
    for (const std::string& f : fa) expectsame(a, b, "field/" + f);
}

}  // namespace

// Also with contact and erosion (the struck end of the bar erodes), whose
// state the checkpoint carries.
TEST(Restart, KilledJobContinuesToTheSameFilesByteForByte) {
    std::mt19937 rng(std::random_device{}());
    for (const auto& [nprocs, blocks] : {std::pair<int, std::string>{1, ""},
                                         {3, ""},
                                         {3, "cont\nendc\nfail\nepsp 1 0.15\nendf\n"}}) {
        SCOPED_TRACE("processes " + std::to_string(nprocs) + " " + blocks);
        TempDir whole("restart-whole"), killed("restart-killed");
        killmodel(whole.path(), nprocs, blocks);
        killmodel(killed.path(), nprocs, blocks);
        RunResult r = run_hexdyn(whole.path(), nprocs, 120);
        ASSERT_EQ(r.status, 0) << r.out;

        const int delay = std::uniform_int_distribution<int>(0, 500)(rng);
        SCOPED_TRACE("killed " + std::to_string(delay) + " ms after the second checkpoint");
        r = runandkill(killed.path(), nprocs, delay);
        const std::string log = read_file(killed / "run.log");
        ASSERT_EQ(log.find("Timefor computation"), std::string::npos)
            << "the run ended before it was killed:\n"
            << log;
        ASSERT_NE(r.out.find("status 0\n"), 0u);

        r = restart(killed.path(), nprocs, 120);
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find(" restarting at step "), std::string::npos) << r.out;
        if (!blocks.empty()) {
            EXPECT_EQ(r.out.find(" 0 element(s) eroded"), std::string::npos) << r.out;
        }
        expectsamefiles(whole.path(), killed.path(), nprocs);
    }
}

TEST(Restart, DamagedCheckpointIsSkippedAndTheOlderOneUsed) {
    TempDir whole("restart-whole"), dir("restart-damaged");
    killmodel(whole.path(), 3);
    killmodel(dir.path(), 3);
    ASSERT_EQ(run_hexdyn(whole.path(), 3, 120).status, 0);
    RunResult r = runandkill(dir.path(), 3, 100);
    // The newer checkpoint of process 1 cut short, the newer one of process 2
    // with a flipped byte: every process must fall back to the older one.
    const bool twonewer =
        fs::last_write_time(dir / "bchkp.2") > fs::last_write_time(dir / "bchkp.1");
    const std::string newer = twonewer ? "chkp.2" : "chkp.1";
    fs::resize_file(dir / ("b" + newer), fs::file_size(dir / ("b" + newer)) - 100);
    {
        std::fstream f(dir / ("c" + newer), std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(500);
        f.put('\x5a');
    }
    r = restart(dir.path(), 3, 120);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find(" *** Warning *** checkpoint b" + newer + " is cut short or overlong"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(" *** Warning *** checkpoint c" + newer +
                         " is damaged (checksum mismatch); it is not used"),
              std::string::npos)
        << r.out;
    expectsamefiles(whole.path(), dir.path(), 3);
}

TEST(Restart, OtherProcessCountOrDeckOrNoCheckpointIsRefused) {
    TempDir dir("restart-refused");
    makemodel(dir.path(), 1, 40, "2e-5", "4e-6");
    ASSERT_EQ(run_hexdyn(dir.path(), 1, 60).status, 0);
    const std::string original = read_file(dir / "a");
    const std::string echo = read_file(dir / "asovra.rst");
    ASSERT_FALSE(echo.empty());
    write_file(dir / "Comm", "0\n\n\n");
    // Process 1 has a deck but no result files of the run to continue.
    write_file(dir / "b", original);
    RunResult r = restart(dir.path(), 2, 30);
    EXPECT_NE(r.status, 0);
    EXPECT_FALSE(r.timed_out);
    // A refused restart leaves the files of the run as they were and makes
    // none of its own.
    EXPECT_EQ(read_file(dir / "asovra.rst"), echo);
    for (const char* f : {"bsovra.rst", "bresult_anim.dat", "bresult_curv.dat"})
        EXPECT_FALSE(fs::exists(dir / f)) << f << "\n" << r.out;
    fs::remove(dir / "b");
    EXPECT_NE(r.out.find(" *** Error *** checkpoint achkp.1 was written by process 0 of a job of 1 "
                         "processes; this job has 2: restart with the same number of processes"),
              std::string::npos)
        << r.out;

    write_file(dir / "Comm", "0\n\n");
    std::string deck = read_file(dir / "a");
    deck.insert(deck.rfind("endi"), "dtsc 0.5\n");
    write_file(dir / "a", deck);
    r = restart(dir.path(), 1, 30);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find(" *** Error *** checkpoint achkp.1 was written for another deck: a has "
                         "changed since; a restart needs the same deck"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(read_file(dir / "asovra.rst"), echo);  // not the echo of the changed deck

    // A checkpoint of another history layout (its text changed, its hashes
    // made good again) is refused by name, not read as damaged.
    write_file(dir / "a", original);
    for (const char* slot : {"achkp.1", "achkp.2"}) {
        std::string bytes = read_file(dir / slot);
        const size_t at = bytes.find(historylayout);
        ASSERT_NE(at, std::string::npos) << slot;
        bytes[at] = 'w';
        constexpr size_t head = 64, checksum = 56;
        const std::uint64_t payload = checkpoint::hash(bytes.data() + head, bytes.size() - head);
        const std::uint64_t sum = checkpoint::hash(bytes.data(), checksum, payload);
        bytes.replace(checksum, 8, reinterpret_cast<const char*>(&sum), 8);
        write_file(dir / slot, bytes);
    }
    r = restart(dir.path(), 1, 30);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find(" *** Error *** checkpoint achkp.1 holds element history records of the "
                         "layout \"wol0 sig_y"),
              std::string::npos)
        << r.out;
    ASSERT_EQ(run_hexdyn(dir.path(), 1, 60).status, 0);

    // The energy balance cannot go on without the records before the checkpoint.
    fs::remove(dir / "energy.dat");
    r = restart(dir.path(), 1, 30);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find(": the result file energy.dat is missing or shorter than the "),
              std::string::npos)
        << r.out;

    fs::remove(dir / "achkp.1");
    fs::remove(dir / "achkp.2");
    r = restart(dir.path(), 1, 30);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find(" *** Error *** no checkpoint that every process holds complete (achkp.1, "
                         "achkp.2): cannot restart"),
              std::string::npos)
        << r.out;

    r = run_command(mpiexec() + " -n 1 " + exe("hexdyn") + " --restart --again", dir.path(), 30);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find(" *** Error *** unknown argument \"--again\" (argument 2): hexdyn takes "
                         "--restart alone, or --help; remove it\n"),
              std::string::npos)
        << r.out;
    r = run_command(mpiexec() + " -n 1 " + exe("hexdyn") + " --restart extra", dir.path(), 30);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find(" *** Error *** unknown argument \"extra\" (argument 2)"),
              std::string::npos)
        << r.out;
    r = run_command(mpiexec() + " -n 1 " + exe("hexdyn") + " --help", dir.path(), 30);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--restart"), std::string::npos) << r.out;
}

TEST(Restart, StopSignalEndsAfterTheStepWithACheckpoint) {
    for (const char* sig : {"TERM", "INT"}) {
        SCOPED_TRACE(sig);
        TempDir whole("signal-whole"), dir("signal");
        makemodel(whole.path(), 3, 100000, "6e-5");
        makemodel(dir.path(), 3, 100000, "6e-5");
        ASSERT_EQ(run_hexdyn(whole.path(), 3, 120).status, 0);
        // The signal goes to the processes, as a batch system sends it.
        const std::string script =
            mpiexec() + " -n 3 " + exe("hexdyn") +
            " > run.log 2>&1 &\njob=$!\nsleep 1\n"
            "for p in $(pgrep -P $job); do for c in $(pgrep -P $p); do kill -" +
            sig + " $c; done; done\nwait $job\necho status $?\n";
        RunResult r = run_command(script, dir.path(), 60);
        const std::string log = read_file(dir / "run.log");
        EXPECT_FALSE(r.timed_out);
        EXPECT_EQ(r.out.find("status 0\n"), std::string::npos) << r.out << log;
        EXPECT_EQ(count_of(log, " *** Stop *** signal "), 1u) << log;
        EXPECT_NE(log.find("result files written out, checkpoint achkp."), std::string::npos)
            << log;
        // What the stop wrote is a checkpoint to go on from.
        r = restart(dir.path(), 3, 120);
        ASSERT_EQ(r.status, 0) << r.out;
        expectsamefiles(whole.path(), dir.path(), 3);
    }
}

// A restart after the field folder was removed makes it again and writes
// the frames after the checkpoint; a process given another process's
// checkpoint refuses it, naming both processes; a checkpoint that cannot be
// written (its temporary file a link to /dev/full, a full disk even for
// root) stops the run with the system's reason and leaves no temporary file.
TEST(Restart, FieldFolderRemovedOtherProcessesCheckpointAndFullDisk) {
    TempDir dir("restart-faults");
    makemodel(dir.path(), 2, 20, "3e-5", "3e-6");
    ASSERT_EQ(run_hexdyn(dir.path(), 2, 120).status, 0);
    const std::string series = read_file(dir / "field.pvd");
    const std::set<std::string> files = names(dir / "field");
    ASSERT_GT(files.size(), 3u);

    fs::remove_all(dir / "field");
    RunResult r = restart(dir.path(), 2, 120);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(fs::exists(dir / "field" / *files.rbegin())) << *files.rbegin();
    // The frames before the checkpoint are gone for good: the series lists
    // the frames written again, each as before, and every file it names is
    // on disk; the restart says how many it left out.
    const std::string after = read_file(dir / "field.pvd");
    std::vector<std::string> listed, before;
    for (const std::string& l : lines_of(after))
        if (l.find("<DataSet") != std::string::npos) listed.push_back(l);
    for (const std::string& l : lines_of(series))
        if (l.find("<DataSet") != std::string::npos) before.push_back(l);
    ASSERT_FALSE(listed.empty()) << after;
    ASSERT_LT(listed.size(), before.size()) << after;
    EXPECT_TRUE(
        std::equal(listed.begin(), listed.end(), before.end() - static_cast<long>(listed.size())))
        << after;
    for (const FieldFrame& f : field_frames(dir.path())) {
        ASSERT_EQ(f.pieces.size(), 2u);
        for (const fs::path& p : f.pieces) EXPECT_TRUE(fs::exists(p)) << p;
    }
    EXPECT_NE(r.out.find(" *** Warning *** " + std::to_string(before.size() - listed.size()) +
                         " of the "),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(" field frame(s) written before the restart have lost their files; "
                         "field.pvd lists the others\n"),
              std::string::npos)
        << r.out;

    for (const char* slot : {"chkp.1", "chkp.2"})
        fs::copy_file(dir / (std::string("a") + slot), dir / (std::string("b") + slot),
                      fs::copy_options::overwrite_existing);
    r = restart(dir.path(), 2, 60);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find(" *** Error *** checkpoint bchkp.1 was written by process 0 of a job of "
                         "2 processes, not by process 1, which reads it: each process restarts "
                         "from its own checkpoints\n"),
              std::string::npos)
        << r.out;

    fs::create_symlink("/dev/full", dir / "achkp.tmp");
    r = run_hexdyn(dir.path(), 2, 60);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find(" *** Error *** writing checkpoint achkp.tmp failed: No space left on "
                         "device\n"),
              std::string::npos)
        << r.out;
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "achkp.tmp"))) << r.out;
}
