# The fuzz targets and their libFuzzer options, read by scripts/fuzz.sh and
# bench/fuzz-long.sh.
BW_FUZZ_TARGETS="fuzz_status_block fuzz_status_roundtrip fuzz_command_block fuzz_mt7628_frame
 fuzz_mt7628_client fuzz_chvhttp_url fuzz_chvhttp_code_page fuzz_http_reply fuzz_registry
 fuzz_autostart fuzz_service_config fuzz_ini fuzz_firmware_image fuzz_driver_manifest fuzz_driver_catalogue
 fuzz_remote_frame fuzz_remote_bridge fuzz_update_release fuzz_account fuzz_passthru_frame fuzz_passthru_session
 fuzz_vehicle_file fuzz_vehicle_uds fuzz_version_file fuzz_vehdiag_dtc_table"

# Input size limits fit each format (a status block is 1024 bytes); a single
# input that runs for 10 s is a hang.
bw_fuzz_options() {
    case "$1" in
    fuzz_status_block) echo "-max_len=1100 -timeout=10" ;;
    fuzz_registry | fuzz_ini | fuzz_autostart | fuzz_version_file) echo "-max_len=1024 -timeout=10" ;;
    fuzz_command_block | fuzz_http_reply) echo "-max_len=2048 -timeout=10" ;;
    fuzz_firmware_image | fuzz_driver_catalogue) echo "-max_len=8192 -timeout=10" ;;
    fuzz_remote_frame) echo "-max_len=40000 -timeout=10" ;;
    fuzz_remote_bridge) echo "-max_len=4096 -timeout=10" ;;
    fuzz_passthru_frame | fuzz_passthru_session) echo "-max_len=40000 -timeout=10" ;;
    fuzz_vehicle_file) echo "-max_len=16384 -timeout=10" ;;
    *) echo "-max_len=4096 -timeout=10" ;;
    esac
}
