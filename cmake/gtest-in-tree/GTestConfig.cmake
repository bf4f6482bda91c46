# find_package(GTest) for GoogleTest built inside this build tree from its
# sources (cross builds; see cmake/windows.cmake).
if(NOT TARGET GTest::gtest OR NOT TARGET GTest::gtest_main)
  set(GTest_FOUND FALSE)
  set(GTest_NOT_FOUND_MESSAGE "GoogleTest is not part of this build tree")
endif()
