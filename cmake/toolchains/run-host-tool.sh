#!/bin/sh
# run-host-tool.sh HOST_PROGRAM CROSS_PROGRAM [ARGS...]
# The emulator of a cross-built tool: CMake hands it the cross-built program
# (which cannot run here) and its arguments; run the build machine's own build
# of the same tool instead.
host_program=$1
shift 2
exec "$host_program" "$@"
