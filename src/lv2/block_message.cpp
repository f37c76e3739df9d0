#include "lv2/block_message.h"

#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>

#include "lv2/lv2_uris.h"

namespace cqscope::lv2 {

MessageUris::MessageUris(const LV2_URID_Map& map)
    : atomObject(map.map(map.handle, LV2_ATOM__Object)),
      atomSequence(map.map(map.handle, LV2_ATOM__Sequence)),
      atomVector(map.map(map.handle, LV2_ATOM__Vector)),
      atomFloat(map.map(map.handle, LV2_ATOM__Float)),
      atomInt(map.map(map.handle, LV2_ATOM__Int)),
      atomDouble(map.map(map.handle, LV2_ATOM__Double)),
      midiEvent(map.map(map.handle, LV2_MIDI__MidiEvent)),
      block(map.map(map.handle, CQSCOPE_LV2_BLOCK_URI)),
      rate(map.map(map.handle, CQSCOPE_LV2_RATE_URI)),
      left(map.map(map.handle, CQSCOPE_LV2_LEFT_URI)),
      right(map.map(map.handle, CQSCOPE_LV2_RIGHT_URI)) {}

NotifyWriter::NotifyWriter(const LV2_URID_Map& map, const MessageUris& uris) noexcept
    : uris_(uris) {
    // Maps the forge's own types: called at instantiation, never on the audio thread.
    lv2_atom_forge_init(&forge_, const_cast<LV2_URID_Map*>(&map));
}

void NotifyWriter::begin(LV2_Atom_Sequence* port) noexcept {
    open_ = false;
    if (port == nullptr || port->atom.size < sizeof(LV2_Atom_Sequence_Body)) return;
    lv2_atom_forge_set_buffer(&forge_, reinterpret_cast<std::uint8_t*>(port),
                              sizeof(LV2_Atom) + port->atom.size);
    open_ = lv2_atom_forge_sequence_head(&forge_, &sequence_, 0) != 0;
}

void NotifyWriter::midi(std::int64_t frame, const std::uint8_t* message,
                        std::uint32_t size) noexcept {
    // Written whole or not at all (the event's time, its atom header and its padded body).
    if (!open_ || forge_.offset + 16 + ((size + 7u) & ~7u) > forge_.size) return;
    lv2_atom_forge_frame_time(&forge_, frame);
    lv2_atom_forge_atom(&forge_, size, uris_.midiEvent);
    lv2_atom_forge_write(&forge_, message, size);
}

void NotifyWriter::block(double rate, const float* left, const float* right,
                         std::uint32_t frames) noexcept {
    if (!open_ || frames == 0) return;
    // The whole message must fit, or none of it is written: a forge that runs out of room
    // midway leaves a truncated object behind.
    const auto padded = [](std::uint64_t bytes) { return (bytes + 7u) & ~std::uint64_t{7}; };
    const std::uint64_t vector = 8 + sizeof(LV2_Atom_Vector) + padded(std::uint64_t{frames} * 4);
    const std::uint64_t message =
        8 + sizeof(LV2_Atom_Object) + (8 + sizeof(LV2_Atom_Double)) + 2 * vector;
    if (forge_.offset + message > forge_.size) return;
    LV2_Atom_Forge_Frame object;
    lv2_atom_forge_frame_time(&forge_, frames - 1);
    lv2_atom_forge_object(&forge_, &object, 0, uris_.block);
    lv2_atom_forge_key(&forge_, uris_.rate);
    lv2_atom_forge_double(&forge_, rate);
    lv2_atom_forge_key(&forge_, uris_.left);
    lv2_atom_forge_vector(&forge_, sizeof(float), uris_.atomFloat, frames, left);
    lv2_atom_forge_key(&forge_, uris_.right);
    lv2_atom_forge_vector(&forge_, sizeof(float), uris_.atomFloat, frames, right);
    lv2_atom_forge_pop(&forge_, &object);
}

void NotifyWriter::end() noexcept {
    // The forge keeps the sequence's header valid as it goes; popping closes the frame.
    if (forge_.stack != nullptr) lv2_atom_forge_pop(&forge_, &sequence_);
    open_ = false;
}

bool readBlock(const LV2_Atom_Object& object, const MessageUris& uris, BlockMessage& block) {
    if (object.body.otype != uris.block) return false;
    const LV2_Atom* rate = nullptr;
    const LV2_Atom* left = nullptr;
    const LV2_Atom* right = nullptr;
    lv2_atom_object_get(&object, uris.rate, &rate, uris.left, &left, uris.right, &right, 0);
    const auto isVectorOfFloats = [&uris](const LV2_Atom* atom) {
        if (atom == nullptr || atom->type != uris.atomVector ||
            atom->size < sizeof(LV2_Atom_Vector_Body))
            return false;
        const auto* body = &reinterpret_cast<const LV2_Atom_Vector*>(atom)->body;
        return body->child_type == uris.atomFloat && body->child_size == sizeof(float);
    };
    if (rate == nullptr || rate->type != uris.atomDouble || rate->size != sizeof(double) ||
        !isVectorOfFloats(left) || !isVectorOfFloats(right) || left->size != right->size ||
        left->size == sizeof(LV2_Atom_Vector_Body))
        return false;
    const auto samples = [](const LV2_Atom* atom) {
        return reinterpret_cast<const float*>(reinterpret_cast<const LV2_Atom_Vector*>(atom) + 1);
    };
    block.rate = reinterpret_cast<const LV2_Atom_Double*>(rate)->body;
    block.channels[0] = samples(left);
    block.channels[1] = samples(right);
    block.frames =
        static_cast<std::int32_t>((left->size - sizeof(LV2_Atom_Vector_Body)) / sizeof(float));
    return true;
}

}  // namespace cqscope::lv2
