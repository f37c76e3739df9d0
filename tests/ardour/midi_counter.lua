ardour { ["type"] = "dsp", name = "cqscope test MIDI counter", category = "Utility",
         license = "MIT", author = "cqscope", description = "Counts the MIDI events it receives" }
function dsp_ioconfig () return { { midi_in = 1, midi_out = 1, audio_in = -1, audio_out = -1 } } end
function dsp_init (rate) self:shmem():allocate(3); self:shmem():clear() end
function dsp_run (ins, outs, n_samples)
  local shm = self:shmem()
  for _, event in pairs(midiin) do
    local data = event["data"]
    local kind = data[1] & 0xF0
    shm:atomic_set_int(0, shm:atomic_get_int(0) + 1)
    if #data == 3 and (kind == 0x90 or kind == 0x80) then
      shm:atomic_set_int(1, shm:atomic_get_int(1) + 1)
    elseif #data == 3 and kind == 0xB0 and data[2] == 1 then
      shm:atomic_set_int(2, shm:atomic_get_int(2) + 1)
    end
  end
end
