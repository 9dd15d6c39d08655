wayfarer_add_test(NAME event_tests SOURCES analytics/EventTest.cpp BACKEND)
wayfarer_add_test(NAME frame_event_tests SOURCES analytics/FrameEventsTest.cpp DISPLAY BACKEND LOCKS instance_mutex)
