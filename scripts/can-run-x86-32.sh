#!/bin/sh
# Succeeds when this machine executes 32-bit x86 code (needed by wine32).
# Some virtual machines offer no 32-bit code segment; there the tests run the
# x86_64 build under wine64 instead.
/usr/lib/wine/wine --version >/dev/null 2>&1
