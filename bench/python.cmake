# The C++ anchor of the Python module's to_unicode benchmark (bench/python_to_unicode.py).
svreg_add_bench(to_unicode_time to_unicode_time.cpp PUBLIC_API)
