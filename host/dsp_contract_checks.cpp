#include <atomic>
#include <memory>
#include <optional>
#include <thread>

#include "scripted_dsp_session.h"
#include "validation_families.h"

namespace lumhost {
namespace {

// Enough to share two cores with others and still overlap in time.
constexpr std::size_t kThreads = 4;

class ContractChecks {
public:
    ContractChecks(const ModuleLibrary& library, const ModuleDescription& module, std::uint32_t seed,
                   const ValidationOptions& options, VerdictRecorder& verdict)
        : factory_(library.factory()), module_(module), verdict_(verdict), random_(seed) {
        // Every script is written whichever checks run, so each meets the same sessions alone.
        const std::int32_t blocks = 20 * options.strictness;
        plain_ = writeScript(module, random_(), {blocks});
        lastSample_ = writeScript(module, random_(), {blocks, true});
        crowded_ = writeScript(module, random_(), {4, false, true});
        for (SessionScript& script : threaded_) script = writeScript(module, random_(), {5 * blocks});
    }

    void run() {
        if (verdict_.starts(CheckId::DspPointedValues)) {
            compare(CheckId::DspPointedValues, plain_, {}, {true},
                    "values given through the data pointer gave other samples or host calls than given in the "
                    "record");
        }
        if (verdict_.starts(CheckId::DspMovedBuffers)) {
            const auto moved = compare(CheckId::DspMovedBuffers, plain_, {}, {false, true},
                                       "buffers set to other memory between blocks gave other samples or host calls");
            verdict_.check(CheckId::DspMovedBuffers, !moved || !moved->wroteReplacedBuffer,
                           "wrote to a buffer after setBuffer replaced it");
        }
        if (verdict_.starts(CheckId::DspEventEdges)) checkEventEdges();
        if (verdict_.starts(CheckId::DspThreads)) checkThreads();
        if (verdict_.starts(CheckId::DspHostThread)) checkHostThread();
    }

private:
    // The script played to a new instance on this thread; none when creation failed.
    std::optional<Playback> play(CheckId id, const SessionScript& script, const Delivery& delivery) {
        ScriptedPlayer player(factory_, module_, script);
        verdict_.check(id, player.created(), "creation failed");
        if (!player.created()) return std::nullopt;
        return player.play(delivery);
    }

    // `script` played `one` way and `other` way must give the same; returns the other's.
    std::optional<Playback> compare(CheckId id, const SessionScript& script, const Delivery& one, const Delivery& other,
                                    const std::string& problem) {
        const auto expected = play(id, script, one);
        auto played = play(id, script, other);
        if (expected && played) verdict_.check(id, played->sameAs(*expected), problem);
        return played;
    }

    void checkEventEdges() {
        if (const auto played = play(CheckId::DspEventEdges, lastSample_, {})) {
            for (const std::string& problem : played->positionProblems) {
                verdict_.check(CheckId::DspEventEdges, false, "with events at the last sample: " + problem);
            }
            verdict_.check(CheckId::DspEventEdges, true, {});
        }
        Delivery cut;
        cut.eventLimit = lum::kMaxEventsPerProcess;
        compare(CheckId::DspEventEdges, crowded_, cut, {},
                "handled events past the " + std::to_string(lum::kMaxEventsPerProcess) + "th of a list");
    }

    // Instances made here process on their own threads at once; each must give what its
    // session gives alone.
    void checkThreads() {
        std::optional<Playback> alone[kThreads];
        std::unique_ptr<ScriptedPlayer> players[kThreads];
        for (std::size_t k = 0; k < kThreads; ++k) {
            alone[k] = play(CheckId::DspThreads, threaded_[k], {});
            players[k] = std::make_unique<ScriptedPlayer>(factory_, module_, threaded_[k]);
            if (!alone[k] || !players[k]->created()) return;
        }
        Playback together[kThreads];
        std::atomic<std::size_t> waiting{kThreads};
        std::vector<std::thread> threads;
        for (std::size_t k = 0; k < kThreads; ++k) {
            threads.emplace_back([&, k] {
                // All start together, so their blocks overlap in time.
                for (--waiting; waiting > 0;) std::this_thread::yield();
                together[k] = players[k]->play({});
            });
        }
        for (std::thread& thread : threads) thread.join();
        for (std::size_t k = 0; k < kThreads; ++k) {
            verdict_.check(CheckId::DspThreads, together[k].sameAs(*alone[k]),
                           "an instance processing while others did on other threads gave other samples or host "
                           "calls than alone");
        }
    }

    // Played on this thread and then on another: every call from the thread playing.
    void checkHostThread() {
        const auto report = [&](const Playback& played) {
            for (const std::string& problem : played.threadProblems) {
                verdict_.check(CheckId::DspHostThread, false, problem);
            }
            verdict_.check(CheckId::DspHostThread, true, {});
        };
        if (const auto played = play(CheckId::DspHostThread, plain_, {})) report(*played);
        ScriptedPlayer player(factory_, module_, plain_);
        if (!player.created()) return;
        Playback elsewhere;
        std::thread([&] { elsewhere = player.play({}); }).join();
        report(elsewhere);
    }

    lum::IMpFactory& factory_;
    const ModuleDescription& module_;
    VerdictRecorder& verdict_;
    std::mt19937 random_;
    SessionScript plain_, lastSample_, crowded_;
    SessionScript threaded_[kThreads];
};

}  // namespace

void checkDspContract(const ModuleLibrary& library, const ModuleDescription& module, std::uint32_t seed,
                      const ValidationOptions& options, VerdictRecorder& verdict) {
    ContractChecks(library, module, seed, options, verdict).run();
}

}  // namespace lumhost
