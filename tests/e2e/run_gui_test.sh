#!/bin/sh
# Runs a GUI test program on a private X server (Xvfb), so no display is needed:
#   run_gui_test.sh PROGRAM [ARGS...]
# The same works by hand for the editor itself, e.g. `xvfb-run -a build/src/app/tamovid`.
set -eu

export NO_AT_BRIDGE=1        # no accessibility bus on a bare X server
export GDK_BACKEND=x11

# WebKit's web process runs in a bubblewrap sandbox, which needs user namespaces. Containers that
# forbid them (CI as root) get the web process without it, for this test run only.
if ! bwrap --ro-bind / / --unshare-all --die-with-parent true >/dev/null 2>&1; then
  echo "run_gui_test: no user namespaces here; web process sandbox off for this test" >&2
  export WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS=1
fi

exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" "$@"
