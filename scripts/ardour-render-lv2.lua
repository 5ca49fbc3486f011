-- Run by Ardour's Lua interpreter from ardour-render-lv2.sh, which sets the variables below:
-- a session on the dummy backend with one MIDI track holding the LV2 instrument and one note.
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
if not AudioEngine:set_backend ("None (Dummy)", "ardour-render", "") then fail ("no dummy backend") end
if AudioEngine:start (false) ~= 0 then fail ("the audio engine did not start") end
if not create_session (folder .. "/session", "render", rate) then fail ("no session") end

-- The track is built first and the instrument added to it afterwards: built in one step,
-- Ardour's connection thread and the track's set-up race to register the same output port.
local tracks = Session:new_midi_track (ARDOUR.ChanCount (ARDOUR.DataType ("midi"), 1),
	ARDOUR.ChanCount (ARDOUR.DataType ("audio"), 2), false, ARDOUR.PluginInfo (), nil, nil, 1, "Instrument",
	ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, false, false)
if tracks:size () ~= 1 then fail ("no MIDI track") end
local track = tracks:front ()
ARDOUR.LuaAPI.usleep (300000)
local instrument = ARDOUR.LuaAPI.new_plugin (Session, uri, ARDOUR.PluginType.LV2, "")
if instrument:isnil () then fail ("Ardour does not find the LV2 plug-in " .. uri) end
if track:add_processor_by_index (instrument, 0, nil, true) ~= 0 then fail ("the plug-in did not fit the track") end
print ("plug-in: " .. instrument:display_name ())

-- The note comes from a processor ahead of the instrument, timed from the start of the roll.
local source = ARDOUR.LuaAPI.new_luaproc (Session, "Tessaron test note")
if source:isnil () then fail ("the note source script is not installed") end
ARDOUR.LuaAPI.set_processor_param (source, 0, note)
if track:add_processor_by_index (source, 0, nil, true) ~= 0 then fail ("the note source did not fit the track") end

-- The instrument takes its ports in its first cycles: the state saved with the session must
-- come after them, as it would after any moment of a user's session.
ARDOUR.LuaAPI.usleep (500000)
-- ardour7-export renders the saved session: Ardour 7.3's export from Lua (SimpleExport)
-- frees its channels while the engine still finishes with them, and aborts now and then.
Session:save_state ("", false, false, false, false, false)
print ("saved: " .. folder .. "/session")
close_session ()
