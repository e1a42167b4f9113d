// The vocabulary of the thread and state tags that stand on every entry point of the platform
// stand-in and the framework. A tag line follows the prose contract of an operation:
//
//   // [any-thread]               may be called from any thread, concurrently with anything
//   // [render-thread]            called on the host's render thread: no allocation, no lock a
//                                 slower thread can hold, no unbounded wait
//   // [host-thread]              a host's main or property thread, never concurrently with
//                                 another [host-thread] call on the same object
//   // [host-thread & initialized]     ... and only while the unit is initialized
//   // [host-thread & !initialized]    ... and only while the unit is not initialized
//   // [scheduler-thread]         runs on the MIDI services' delivery thread
//   // [worker-thread]            an LV2 host's worker thread, or the plug-in's own thread for
//                                 a host that has none: never the audio thread, but possibly
//                                 beside it and beside a state save
//
// A tag describes the contract, not an enforcement: no code checks it.
#pragma once
