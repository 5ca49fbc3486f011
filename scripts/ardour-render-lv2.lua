-- Run by ardour7-lua from ardour-render-lv2.sh, which sets the variables below: a session on
-- the dummy backend, one MIDI track with the LV2 instrument, one note, exported to a WAV file.
local function fail (message)
	io.stderr:write ("ardour-render-lv2: ", message, "\n")
	os.exit (1)
end

local uri = os.getenv ("RENDER_PLUGIN_URI")
local folder = os.getenv ("RENDER_FOLDER")
local note = tonumber (os.getenv ("RENDER_NOTE") or "69")
local rate = 48000

-- Debian's Ardour hides the dummy backend from its users; a headless run needs nothing else.
ARDOUR.config ():set_hide_dummy_backend (false)
if not AudioEngine:set_backend ("None (Dummy)", "", "") then fail ("no dummy backend") end
if AudioEngine:start (false) ~= 0 then fail ("the audio engine did not start") end
if not create_session (folder .. "/session", "render", rate) then fail ("no session") end

local plugin = ARDOUR.LuaAPI.new_plugin_info (uri, ARDOUR.PluginType.LV2)
if plugin:isnil () then fail ("Ardour does not find the LV2 plug-in " .. uri) end
local tracks = Session:new_midi_track (ARDOUR.ChanCount (ARDOUR.DataType ("midi"), 1),
	ARDOUR.ChanCount (ARDOUR.DataType ("audio"), 2), true, plugin, nil, nil, 1, "Instrument",
	ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true, false)
if tracks:size () ~= 1 then fail ("no MIDI track with the plug-in") end
local track = tracks:front ()
local instrument = track:nth_plugin (0)
if instrument:isnil () then fail ("the track holds no plug-in") end
print ("plug-in: " .. instrument:display_name ())

-- The note comes from a processor ahead of the instrument, timed from the start of the roll.
local source = ARDOUR.LuaAPI.new_luaproc (Session, "Tessaron test note")
if source:isnil () then fail ("the note source script is not installed") end
ARDOUR.LuaAPI.set_processor_param (source, 0, note)
if track:add_processor_by_index (source, 0, nil, true) ~= 0 then fail ("the note source did not fit the track") end

local export = Session:simple_export ()
export:set_name ("note")
export:set_folder (folder)
export:set_range (0, 2 * rate)
if not export:set_preset ("75969a1c-3133-4694-864b-a1fa50e43348") then fail ("no WAV export preset") end -- "WAV @ session-rate"
if not export:check_outputs () then fail ("the master bus has no outputs to export") end
if not export:run_export () then fail ("the export failed") end
Session:save_state ("", false, false, false, false, false)
close_session ()
print ("rendered: " .. folder .. "/note.wav")
