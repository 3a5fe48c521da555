// The one fresh start of every native test: the installer's state as at
// process start (its manifest table released) on a freshly reset headless
// machine. The test main runs it before and after every test, so neither
// fixtures nor table cases reset anything by hand.
#pragma once

void FreshStart();
