-- Ardour 7's Lua session tool (ardour7-lua) on its "None (Dummy)" backend: a stereo track
-- records a second of the backend's white noise, the plug-in goes in (by URI or class ID as
-- its format names it), and the track bounced through it must hold the same samples as the
-- track bounced without it. The noise is recorded first because this tool cannot import a
-- file; both bounces read the same recording through the same playlist, so they differ only by
-- the plug-in. Ardour's timing figures for the plug-in show that it was called.
--   ardour7-lua bounce_session.lua NAME FOLDER FORMAT   (FORMAT: LV2 or VST3)
local uri, folder, format = arg[1], arg[2], arg[3]
local function check(ok, what) if not ok then error("ardour: " .. what, 0) end end
local backend = AudioEngine:set_backend("None (Dummy)", "", "")
check(backend, "no \"None (Dummy)\" backend")
backend:set_device_name("Uniform White Noise")
check(create_session(folder, "cqscope", 48000), "could not create a session")
check(AudioEngine:running(), "the engine did not start")
local track = Session:new_audio_track(2, 2, nil, 1, "noise", ARDOUR.PresentationInfo.max_order,
                                      ARDOUR.TrackMode.Normal, true):front()
check(track and track:n_inputs():n_audio() == 2, "no stereo audio track")
local processor = ARDOUR.LuaAPI.new_plugin(Session, uri, ARDOUR.PluginType[format], "")
check(not processor:isnil(), "Ardour did not find the plug-in " .. uri)
check(track:add_processor_by_index(processor, 0, nil, true) == 0, "the plug-in did not go in")
local insert = processor:to_insert()
print("inserted " .. insert:plugin(0):unique_id() .. " as \"" .. processor:display_name() .. "\"")
local inputs, outputs = insert:natural_input_streams(), insert:natural_output_streams()
print(string.format("streams: %d audio and %d MIDI in, %d audio out", inputs:n_audio(),
                    inputs:n_midi(), outputs:n_audio()))

track:rec_enable_control():set_value(1, PBD.GroupControlDisposition.NoGroup)
Session:maybe_enable_record(false)
Session:request_roll(ARDOUR.TransportRequestSource.TRS_UI)
sleep(1)
Session:request_stop(false, false, ARDOUR.TransportRequestSource.TRS_UI)
local take
for _ = 1, 100 do
  for region in track:playlist():region_list():iter() do take = region end
  if take and not Session:transport_rolling() then break end
  sleep(0.1)
end
check(take, "nothing was recorded")
local first = take:position():samples()
local frames = take:length():samples()
check(frames >= 24000, "only " .. frames .. " frames were recorded")

local through = track:bounce_range(first, first + frames, ARDOUR.InterThreadInfo(), processor,
                                   true, "through"):to_audioregion()
local around = track:bounce_range(first, first + frames, ARDOUR.InterThreadInfo(), processor,
                                  false, "around"):to_audioregion()
check(through:n_channels() == 2 and through:length():samples() == frames,
      "the bounce through the plug-in is not " .. frames .. " stereo frames")
local ran, timing = insert:get_stats(0, 0, 0, 0)
check(ran, "Ardour has no timing of the plug-in's run")

local function samples(region, channel)
  local buffer = ARDOUR.DSP.DspShm(frames)
  check(region:to_readable():read(buffer:to_float(0), 0, frames, channel) == frames, "short read")
  return buffer:to_float(0):array()
end
local left = samples(around, 0)
local right = samples(around, 1)
local peak, apart = 0, 0
for k = 1, frames do
  peak = math.max(peak, math.abs(left[k]), math.abs(right[k]))
  if left[k] ~= right[k] then apart = apart + 1 end
end
check(peak > 0.05 and apart > frames / 2, "the recording is silent or not stereo")
for channel, wanted in ipairs({left, right}) do
  local got = samples(through, channel - 1)
  for k = 1, frames do
    if got[k] ~= wanted[k] then
      error(string.format("ardour: channel %d frame %d is %.9g through the plug-in, %.9g without",
                          channel - 1, k - 1, got[k], wanted[k]), 0)
    end
  end
end
print(string.format("plug-in runs took %d to %d us (mean %.1f)", timing[1], timing[2], timing[3]))
print(string.format("ardour: %d frames of stereo noise (peak %.3f) came through the plug-in unchanged",
                    frames, peak))
close_session()
