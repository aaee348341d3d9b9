# Shared by the engine benchmarks (sourced): a throw-away nginx serving $WORK/www.
# write_nginx_conf WORK LISTEN [EXTRA_HTTP_DIRECTIVES]
write_nginx_conf() {
  cat > "$1/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $1/nginx.pid;
error_log $1/error.log;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  ${3:-}
  server { listen $2; root $1/www; }
}
CONF
}
