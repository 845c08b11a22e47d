// Turns at decoding for the ports of the process.
//
// When more ports play than the machine decodes in time (sixteen windows of
// HD at 16x), every port's play thread would want a core at once, and the
// system's scheduler would share the cores among them all: the GUI thread,
// waking for a moment now and then, would wait its turn behind dozens of
// decoding threads (a quarter of a second at times, with sixteen). A port
// therefore decodes a frame only while holding one of two slots a core, and
// waits for one, in order of asking, while others hold them all: the cores
// stay as busy, the ports share them evenly, and only twice as many threads
// as there are cores ever decode at once, so that the GUI thread is answered
// within a few decoders' time slices. With no more ports playing than twice
// the cores nobody ever waits.
#pragma once

namespace media {

class DecodeSlot {
public:
    DecodeSlot();   // waits for a slot
    ~DecodeSlot();  // hands it to the port that has waited longest
    DecodeSlot(const DecodeSlot &) = delete;
    DecodeSlot &operator=(const DecodeSlot &) = delete;
};

// The slots (two a core), how many are held now and how many
// ports wait for one.
int decode_slots();
int decode_slots_held();
int decode_slots_waiting();

}  // namespace media
