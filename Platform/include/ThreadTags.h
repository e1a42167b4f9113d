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
// Inside the MIDI services:
//
//   // [backend-thread]           a system MIDI backend's own thread, which follows its service
//                                 (and the backend's Start, before that thread runs)
//   // [jack-process-thread]      libjack's process thread, in a client's process callback: the
//                                 rules of [render-thread]
//   // [jack-callback-thread]     libjack's other threads, in a client's other callbacks: short,
//                                 and never waiting for the [backend-thread]
//   // [pool-grower-thread]       the thread that grows the services' packet pools
//   // [single-producer]          the one thread that fills a one-to-one hand-off, never two at
//                                 a time
//   // [single-consumer]          the one thread or callback that empties a hand-off (a
//                                 scheduler thread, a process callback, a reader), never two at
//                                 a time
//
// A tag describes the contract, not an enforcement: no code checks it.
#pragma once
