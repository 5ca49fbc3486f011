ardour { ["type"] = "dsp", name = "Tessaron test note", category = "Utility", license = "GPLv2",
	description = "Sends one note from 0.1 s to 1.1 s of the timeline while the transport rolls" }

function dsp_ioconfig ()
	return { { midi_in = 1, midi_out = 1, audio_in = 0, audio_out = 0 } }
end

function dsp_params ()
	return { { ["type"] = "input", name = "Note", min = 0, max = 127, default = 69, integer = true } }
end

-- Timed from the playhead, as a region's note would be: the same at every roll, export or not.
function dsp_run (_, _, n_samples)
	assert (type (midiout) == "table")
	if not Session:transport_rolling () then return end
	local note = math.floor (CtrlPorts:array ()[1])
	local rate = Session:nominal_sample_rate ()
	local on, off = math.floor (0.1 * rate), math.floor (1.1 * rate)
	local pos = Session:transport_sample ()
	local cnt = 1
	for _, at in ipairs ({ on, off }) do
		if at >= pos and at < pos + n_samples then
			local status = at == on and 0x90 or 0x80
			midiout[cnt] = { time = at - pos + 1, data = { status, note, at == on and 100 or 0 } }
			cnt = cnt + 1
		end
	end
end
