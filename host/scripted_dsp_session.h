// A DSP session fixed in advance by a seed, so that its blocks can be played to instances
// in several legal ways, one after another or on several threads at once, and what each
// instance gives compared bit for bit.
#pragma once

#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "guarded_buffer.h"
#include "module_description.h"
#include "pin_value.h"
#include "recording_host.h"
#include "ref.h"

namespace lumhost {

struct ScriptedEvent {
    std::int32_t time;
    std::int32_t type;
    std::int32_t pinIndex;
    PinValue value;  // for value events only
};

struct ScriptedBlock {
    std::int32_t count;
    std::vector<ScriptedEvent> events;
    std::map<std::int32_t, std::vector<float>> inputs;  // each audio input's `count` samples
};

struct SessionScript {
    std::int32_t blockSize;
    float sampleRate;
    std::vector<ScriptedBlock> blocks;
};

struct ScriptShape {
    std::int32_t blocks = 40;
    // Every event of a block at its last sample.
    bool eventsAtLastSample = false;
    // One block with more events than process handles.
    bool crowdedBlock = false;
};

// Graph start with every input's value, then blocks of random size with value changes,
// inputs starting and stopping to stream and events for pins the module lacks.
SessionScript writeScript(const ModuleDescription& module, std::uint32_t seed, const ScriptShape& shape);

// How the host hands a script over; every way is legal and must give the same result.
struct Delivery {
    bool pointedValues = false;  // values through HostEvent::data, not the record
    bool movedBuffers = false;   // every buffer set to other memory before each block
    std::size_t eventLimit = std::numeric_limits<std::size_t>::max();  // events of a list sent
};

struct Playback {
    std::vector<std::vector<float>> outputs;    // each audio output's samples, block after block
    std::vector<HostCall> calls;                // the module's conversation
    std::vector<std::string> positionProblems;  // calls stamped outside their block
    std::vector<std::string> threadProblems;    // calls made from another thread
    bool wroteReplacedBuffer = false;           // wrote to a buffer after it was replaced

    // Outputs compared bit for bit, calls as HostCall compares them.
    bool sameAs(const Playback& other) const;
};

// One instance for one script, created on the thread that makes the player; play may run
// on another thread, which is then the instance's processing thread.
class ScriptedPlayer {
public:
    ScriptedPlayer(lum::IMpFactory& factory, const ModuleDescription& module, const SessionScript& script);
    ScriptedPlayer(const ScriptedPlayer&) = delete;
    ScriptedPlayer& operator=(const ScriptedPlayer&) = delete;

    bool created() const { return static_cast<bool>(plugin_); }
    // Open, buffers, then every block, a sleeping module left alone until an event comes.
    Playback play(const Delivery& delivery);

private:
    const ModuleDescription& module_;
    const SessionScript& script_;
    RecordingHost host_;
    Ref<lum::IMpPlugin> plugin_;
    std::map<std::int32_t, GuardedBuffer> buffers_[2];  // each audio pin's, in two places
};

}  // namespace lumhost
