# The workspace repository: registering and unregistering many objects in a workspace database.
svreg_add_bench(workspace_bench workspace_bench.cpp PUBLIC_API)
target_link_libraries(workspace_bench PRIVATE svregistration_workspace_internal)
