ardour { ["type"] = "dsp", name = "cqscope test MIDI source", category = "Utility",
         license = "MIT", author = "cqscope", description = "Sends notes and CC1, counting them" }
-- Each cycle a note-on, a CC1 and the note-off, 600 events in all; its own input is dropped, so
-- only these go on down the track.
function dsp_ioconfig () return { { midi_in = 1, midi_out = 1, audio_in = -1, audio_out = -1 } } end
function dsp_init (rate) self:shmem():allocate(3); self:shmem():clear() end
function dsp_run (ins, outs, n_samples)
  local shm = self:shmem()
  local sent = shm:atomic_get_int(0)
  if sent + 3 > 600 or n_samples < 3 then return end
  local key = 36 + (sent // 3) % 60
  midiout[1] = { time = 1, data = { 0x90, key, 100 } }
  midiout[2] = { time = 2, data = { 0xB0, 1, (sent // 3) % 128 } }
  midiout[3] = { time = n_samples, data = { 0x80, key, 0 } }
  shm:atomic_set_int(1, shm:atomic_get_int(1) + 2)
  shm:atomic_set_int(2, shm:atomic_get_int(2) + 1)
  shm:atomic_set_int(0, sent + 3)
end
