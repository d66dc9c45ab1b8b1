#!/bin/sh
# Runs a GUI test program on a private X server: run_gui_test.sh PROGRAM [ARGS...]
set -eu
export NO_AT_BRIDGE=1 GDK_BACKEND=x11
# WebKit's web process sandbox needs user namespaces; where they are forbidden (CI as root), this run goes without.
if ! bwrap --ro-bind / / --unshare-all --die-with-parent true >/dev/null 2>&1; then
  echo "run_gui_test: no user namespaces here; web process sandbox off for this test" >&2
  export WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS=1
fi
exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" "$@"
