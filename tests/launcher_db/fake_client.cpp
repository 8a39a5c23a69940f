// A stand-in client library that only reports a version, built once per version under
// test; without FAKE_CLIENT_VERSION it lacks mysql_get_client_version altogether.
// Every other client function is missing on purpose.

extern "C" {

#ifdef FAKE_CLIENT_VERSION
__attribute__((visibility("default"))) unsigned long mysql_get_client_version() {
  return FAKE_CLIENT_VERSION;
}
#endif

__attribute__((visibility("default"))) const char* mysql_get_client_info() {
  return FAKE_CLIENT_INFO;
}

}  // extern "C"
