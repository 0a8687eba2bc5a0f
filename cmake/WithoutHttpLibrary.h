// Included first in every source of the layers below and beside http/ that
// must not see the HTTP library: its namespace cannot be named there, so an
// include of its headers fails to build. Route bodies see http::Request and
// http::Reply instead (http/Request.h, http/Reply.h).
#pragma GCC poison MHD_Daemon MHD_Connection MHD_Response
