// How the decoders steer the receiver's clocks. Symbol recovery owns the
// clocks and decides on its own when POCSAG starts (from run lengths) and
// ends (when its hold runs out); a decoder that has found its sync locks the
// receiver to its protocol, sets the rate of its frame and releases the
// lock when the transmission is over. The title follows these locks.
#pragma once

namespace tolvane {

// POCSAG rates as PocsagSpeedCode tells them; also the statistics
// categories P2400, P1200, P512.
inline constexpr int kPocsagSpeed2400 = 3;
inline constexpr int kPocsagSpeed1200 = 4;
inline constexpr int kPocsagSpeed512 = 5;

class ClockControl {
public:
    // POCSAG: the decoder found a good or idle codeword, so POCSAG goes on
    // for a while yet. The rate it runs at, a kPocsagSpeed value.
    virtual void KeepPocsag() = 0;
    virtual int PocsagSpeedCode() const = 0;

    // FLEX: a sync of a known mode (its title's mode code) locks out the
    // other decoders until ReleaseFlex.
    virtual void LockFlex(int modeCode) = 0;
    // Re-centres the symbol clock on the sync just found and holds it
    // steadier through the frame header.
    virtual void CentreOnFlexSync() = 0;
    // The frame's blocks follow at this symbol rate (1600, 3200) and level
    // count (2, 4).
    virtual void StartFlexBlocks(int symbolRate, int levels) = 0;
    // The frame is over: back to the 1600 symbols/s search.
    virtual void ReleaseFlex() = 0;

    // GSC: a start code locks the Golay clock to it; releasing starts the
    // clock afresh.
    virtual void LockGolay() = 0;
    virtual void ReleaseGolay() = 0;

protected:
    ~ClockControl() = default;
};

}  // namespace tolvane
