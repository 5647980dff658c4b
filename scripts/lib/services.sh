# Private services for tests and benchmarks: a PulseAudio daemon with null sinks, and Xvfb. Each start gets its
# own runtime folder and display, so runs never share or touch the user's own sound server or screen.
# shellcheck shell=bash

QUIMBREL_PA_DIR=""
QUIMBREL_XVFB_PID=""

# The test topology: null sinks and a remapped source. Endpoints without a card take their adapter name from
# device.product.name: two sinks share "Test Card A"; "Test Card B" and "test card b" differ only in case.
write_pulse_config() {
    cat > "$1" <<'PA'
load-module module-native-protocol-unix
load-module module-null-sink sink_name=quimbrel_speakers rate=48000 channels=2 sink_properties="device.description='Test Speakers' device.product.name='Test Card A'"
load-module module-null-sink sink_name=quimbrel_mono rate=44100 channels=1 channel_map=mono sink_properties="device.description='Test Mono' device.product.name='Test Card A'"
load-module module-null-sink sink_name=quimbrel_eight rate=48000 channels=8 channel_map=front-left,front-right,rear-left,rear-right,front-center,lfe,side-left,side-right sink_properties="device.description='Test Eight' device.product.name='Test Card B'"
load-module module-null-sink sink_name=quimbrel_lower rate=44100 channels=2 sink_properties="device.description='Test Lower' device.product.name='test card b'"
load-module module-null-sink sink_name=quimbrel_micfeed rate=48000 channels=2 sink_properties="device.description='Test Mic Feed' device.product.name='Test Mic Card'"
load-module module-remap-source source_name=quimbrel_mic master=quimbrel_micfeed.monitor source_properties="device.description='Test Microphone' device.product.name='Test Mic Card'"
set-default-sink quimbrel_speakers
set-default-source quimbrel_mic
PA
}

start_pulse() {
    QUIMBREL_PA_DIR=$(mktemp -d /tmp/quimbrel-pulse.XXXXXX)
    export XDG_RUNTIME_DIR=$QUIMBREL_PA_DIR
    export PULSE_SERVER=unix:$QUIMBREL_PA_DIR/pulse/native
    # Keep the daemon away from the user's cookie and configuration.
    export PULSE_COOKIE=$QUIMBREL_PA_DIR/cookie
    write_pulse_config "$QUIMBREL_PA_DIR/test.pa"
    HOME=$QUIMBREL_PA_DIR pulseaudio -n -F "$QUIMBREL_PA_DIR/test.pa" --daemonize=yes --exit-idle-time=-1 \
        --use-pid-file=yes --log-target="file:$QUIMBREL_PA_DIR/pulse.log" 2>/dev/null || true
    for _ in $(seq 50); do
        pactl info >/dev/null 2>&1 && break
        sleep 0.1
    done
    if ! pactl info >/dev/null 2>&1; then
        echo "could not start the private PulseAudio daemon; its log:" >&2
        cat "$QUIMBREL_PA_DIR/pulse.log" >&2 || true
        return 1
    fi
    export QUIMBREL_TEST_PULSE=1
}

stop_pulse() {
    [ -n "$QUIMBREL_PA_DIR" ] || return 0
    local pid=""
    [ -f "$QUIMBREL_PA_DIR/pulse/pid" ] && pid=$(cat "$QUIMBREL_PA_DIR/pulse/pid")
    pactl exit >/dev/null 2>&1 || true
    if [ -n "$pid" ]; then
        for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill "$pid" 2>/dev/null || true
    fi
    rm -rf "$QUIMBREL_PA_DIR"
    QUIMBREL_PA_DIR=""
    unset QUIMBREL_TEST_PULSE PULSE_SERVER
}

start_xvfb() {
    local fifo
    fifo=$(mktemp -u /tmp/quimbrel-xvfb.XXXXXX)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    QUIMBREL_XVFB_PID=$!
    local display
    read -r display <"$fifo"
    rm -f "$fifo"
    export DISPLAY=":$display"
    export QUIMBREL_TEST_DISPLAY=1
}

stop_xvfb() {
    [ -n "$QUIMBREL_XVFB_PID" ] || return 0
    kill "$QUIMBREL_XVFB_PID" 2>/dev/null || true
    wait "$QUIMBREL_XVFB_PID" 2>/dev/null || true
    QUIMBREL_XVFB_PID=""
    unset QUIMBREL_TEST_DISPLAY
}

stop_services() {
    stop_pulse
    stop_xvfb
}
