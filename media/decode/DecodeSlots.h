// Turns at decoding for the ports of the process.
//
// When more ports play than the machine decodes in time (sixteen windows of
// HD at 16x), every port's play thread would want a core at once, and the
// system's scheduler would share the cores among them all: the GUI thread,
// waking for a moment now and then, would wait its turn behind dozens of
// decoding threads (a quarter of a second at times, with sixteen). A port
// therefore decodes a frame only while holding one of as many slots as the
// machine has cores, and waits for one, in order of asking, while others hold
// them all: the cores stay as busy, the ports share them evenly, and only as
// many threads as there are cores ever decode at once, so that the GUI
// thread is answered within a decoder's time slice. With fewer ports playing
// than cores nobody ever waits.
#pragma once

namespace media {

class DecodeSlot {
public:
    DecodeSlot();   // waits for a slot
    ~DecodeSlot();  // hands it to the port that has waited longest
    DecodeSlot(const DecodeSlot &) = delete;
    DecodeSlot &operator=(const DecodeSlot &) = delete;
};

// The slots (the machine's cores), how many are held now and how many
// ports wait for one.
int decode_slots();
int decode_slots_held();
int decode_slots_waiting();

}  // namespace media
