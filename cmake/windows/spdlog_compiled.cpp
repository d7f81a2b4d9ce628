// spdlog's implementation, compiled once for the Windows cross build. Debian ships spdlog's headers
// but no sources for this target, and the header-only form costs seconds in every translation unit;
// with SPDLOG_COMPILED_LIB the headers only declare, and this file supplies the definitions (the
// same set that spdlog's own compiled library holds).
#ifndef SPDLOG_COMPILED_LIB
#error "SPDLOG_COMPILED_LIB must be defined"
#endif

#include <spdlog/async.h>
#include <spdlog/async_logger-inl.h>
#include <spdlog/cfg/helpers-inl.h>
#include <spdlog/common-inl.h>
#include <spdlog/details/backtracer-inl.h>
#include <spdlog/details/file_helper-inl.h>
#include <spdlog/details/log_msg-inl.h>
#include <spdlog/details/log_msg_buffer-inl.h>
#include <spdlog/details/null_mutex.h>
#include <spdlog/details/os-inl.h>
#include <spdlog/details/periodic_worker-inl.h>
#include <spdlog/details/registry-inl.h>
#include <spdlog/details/thread_pool-inl.h>
#include <spdlog/logger-inl.h>
#include <spdlog/pattern_formatter-inl.h>
#include <spdlog/sinks/base_sink-inl.h>
#include <spdlog/sinks/basic_file_sink-inl.h>
#include <spdlog/sinks/rotating_file_sink-inl.h>
#include <spdlog/sinks/sink-inl.h>
#include <spdlog/sinks/stdout_color_sinks-inl.h>
#include <spdlog/sinks/stdout_sinks-inl.h>
#include <spdlog/sinks/wincolor_sink-inl.h>
#include <spdlog/spdlog-inl.h>

#include <mutex>

template spdlog::logger::logger(std::string name, sinks_init_list::iterator begin,
                                sinks_init_list::iterator end);
template class spdlog::sinks::base_sink<std::mutex>;
template class spdlog::sinks::base_sink<spdlog::details::null_mutex>;

template class spdlog::sinks::basic_file_sink<std::mutex>;
template class spdlog::sinks::basic_file_sink<spdlog::details::null_mutex>;
template class spdlog::sinks::rotating_file_sink<std::mutex>;
template class spdlog::sinks::rotating_file_sink<spdlog::details::null_mutex>;

template class spdlog::details::mpmc_blocking_queue<spdlog::details::async_msg>;

template class spdlog::sinks::stdout_sink_base<spdlog::details::console_mutex>;
template class spdlog::sinks::stdout_sink_base<spdlog::details::console_nullmutex>;
template class spdlog::sinks::stdout_sink<spdlog::details::console_mutex>;
template class spdlog::sinks::stdout_sink<spdlog::details::console_nullmutex>;
template class spdlog::sinks::stderr_sink<spdlog::details::console_mutex>;
template class spdlog::sinks::stderr_sink<spdlog::details::console_nullmutex>;

template class spdlog::sinks::wincolor_sink<spdlog::details::console_mutex>;
template class spdlog::sinks::wincolor_sink<spdlog::details::console_nullmutex>;
template class spdlog::sinks::wincolor_stdout_sink<spdlog::details::console_mutex>;
template class spdlog::sinks::wincolor_stdout_sink<spdlog::details::console_nullmutex>;
template class spdlog::sinks::wincolor_stderr_sink<spdlog::details::console_mutex>;
template class spdlog::sinks::wincolor_stderr_sink<spdlog::details::console_nullmutex>;

namespace {
using spdlog::async_factory;
using spdlog::color_mode;
using spdlog::logger;
using spdlog::synchronous_factory;
}  // namespace

template std::shared_ptr<logger> spdlog::stdout_logger_mt<synchronous_factory>(const std::string&);
template std::shared_ptr<logger> spdlog::stdout_logger_st<synchronous_factory>(const std::string&);
template std::shared_ptr<logger> spdlog::stderr_logger_mt<synchronous_factory>(const std::string&);
template std::shared_ptr<logger> spdlog::stderr_logger_st<synchronous_factory>(const std::string&);
template std::shared_ptr<logger> spdlog::stdout_logger_mt<async_factory>(const std::string&);
template std::shared_ptr<logger> spdlog::stdout_logger_st<async_factory>(const std::string&);
template std::shared_ptr<logger> spdlog::stderr_logger_mt<async_factory>(const std::string&);
template std::shared_ptr<logger> spdlog::stderr_logger_st<async_factory>(const std::string&);

template std::shared_ptr<logger> spdlog::stdout_color_mt<synchronous_factory>(const std::string&, color_mode);
template std::shared_ptr<logger> spdlog::stdout_color_st<synchronous_factory>(const std::string&, color_mode);
template std::shared_ptr<logger> spdlog::stderr_color_mt<synchronous_factory>(const std::string&, color_mode);
template std::shared_ptr<logger> spdlog::stderr_color_st<synchronous_factory>(const std::string&, color_mode);
template std::shared_ptr<logger> spdlog::stdout_color_mt<async_factory>(const std::string&, color_mode);
template std::shared_ptr<logger> spdlog::stdout_color_st<async_factory>(const std::string&, color_mode);
template std::shared_ptr<logger> spdlog::stderr_color_mt<async_factory>(const std::string&, color_mode);
template std::shared_ptr<logger> spdlog::stderr_color_st<async_factory>(const std::string&, color_mode);
