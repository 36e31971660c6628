-- The shared serial series and journal of card operations of several stations.
-- Load it once into an empty database, as a superuser (psql sets ON_ERROR_STOP below), from the
-- folder that also holds migrate-1-to-2.sql and migrate-2-to-3.sql:
--     psql -v ON_ERROR_STOP=1 -1 -d ostrel -f schema.sql
-- It creates the tables of version 1, then brings them to the current version with the same
-- migrations an older database receives, so that both end alike.
-- Roles (cluster-wide, created when absent):
--   ostrel_owner    owns every object; give it to the administrator (GRANT ostrel_owner TO ...)
--   ostrel_station  what a station login is given (GRANT ostrel_station TO ...): it may only
--                   call the functions below, which reserve serials, add rows, finish the
--                   login's own rows still "interrompue", and read. No table rights at all.
-- A login made later for a station receives the station limits with
--     SELECT ostrel.configure_station_logins();
-- (ostrel-card journal --upgrade-server ADRESSE does it too.)
\set ON_ERROR_STOP 1

DO $$
BEGIN
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'ostrel_owner') THEN
    CREATE ROLE ostrel_owner NOLOGIN;
  END IF;
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'ostrel_station') THEN
    CREATE ROLE ostrel_station NOLOGIN;
  END IF;
END
$$;

CREATE SCHEMA ostrel AUTHORIZATION ostrel_owner;
REVOKE ALL ON SCHEMA ostrel FROM PUBLIC;
GRANT USAGE ON SCHEMA ostrel TO ostrel_station;
SET ROLE ostrel_owner;
-- Functions created from here on are not callable by everyone.
ALTER DEFAULT PRIVILEGES IN SCHEMA ostrel REVOKE EXECUTE ON FUNCTIONS FROM PUBLIC;

-- A later program migrates from the version recorded here.
CREATE TABLE ostrel.schema_version (version integer NOT NULL);
INSERT INTO ostrel.schema_version VALUES (1);

-- One row: the serial the next blank card receives. Absent until the administrator starts
-- the series (ostrel-card journal --init-server URI --next N).
CREATE TABLE ostrel.series (
  one boolean PRIMARY KEY DEFAULT true CHECK (one),
  next_serial bigint NOT NULL CHECK (next_serial BETWEEN 0 AND 999999999)
);

CREATE TABLE ostrel.operations (
  id bigserial PRIMARY KEY,
  time timestamptz NOT NULL DEFAULT now(),
  station text NOT NULL,
  login text NOT NULL DEFAULT session_user,
  program text NOT NULL,
  reader text NOT NULL,
  operation text NOT NULL,
  serial_new bigint,
  serial_old bigint,
  supplier integer,
  kind integer,
  credits integer,
  attempts_left integer,
  outcome text NOT NULL,
  card_before bytea,
  card_after bytea,
  -- Rows copied from a station's own journal: that station and the row's id there.
  origin_station text,
  origin_id bigint,
  UNIQUE (origin_station, origin_id)
);
-- A serial given by a format that may have reached its card appears once.
CREATE UNIQUE INDEX one_card_per_serial ON ostrel.operations (serial_new)
  WHERE operation = 'formatage'
    AND outcome IN ('écrite et vérifiée', 'échec d''écriture', 'interrompue');
CREATE INDEX by_serial_old ON ostrel.operations (serial_old);
CREATE INDEX by_time ON ostrel.operations (time);
RESET ROLE;

\ir migrate-1-to-2.sql
\ir migrate-2-to-3.sql
\ir migrate-3-to-4.sql
