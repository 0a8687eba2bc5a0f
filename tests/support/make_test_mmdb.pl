#!/usr/bin/perl
# Writes a small city database in the MaxMind DB format, shaped like a
# GeoLite2 City file (country and city "names" maps keyed by language,
# "location" with latitude and longitude doubles), for the tests and the demo.
#
# Usage: make_test_mmdb.pl OUTPUT [VARIANT]
#   test (default): public IPv4 and IPv6 networks with names and coordinates,
#                   and 81.2.69.0/24, whose record has a country only;
#   alt:            the same networks under other names, so a reply shows
#                   which of two databases answered.
use strict;
use warnings;

use MaxMind::DB::Writer::Tree;

my ($output, $variant) = @ARGV;
die "usage: $0 OUTPUT [test|alt]\n" unless defined $output;
$variant //= 'test';
die "unknown variant '$variant'\n" unless $variant eq 'test' || $variant eq 'alt';

my %types = (
    city            => 'map',
    country         => 'map',
    location        => 'map',
    names           => 'map',
    en              => 'utf8_string',
    iso_code        => 'utf8_string',
    latitude        => 'double',
    longitude       => 'double',
    accuracy_radius => 'uint16',
    time_zone       => 'utf8_string',
);

sub place {
    my ($country, $iso, $city, $latitude, $longitude, $zone) = @_;
    my %record = (country => { iso_code => $iso, names => { en => $country } });
    $record{city} = { names => { en => $city } } if defined $city;
    $record{location} = {
        latitude        => $latitude,
        longitude       => $longitude,
        accuracy_radius => 100,
        time_zone       => $zone,
    } if defined $latitude;
    return \%record;
}

my $alt = $variant eq 'alt';
my @networks = (
    [ '8.8.8.0/24',
      $alt ? place('Canada', 'CA', 'Toronto', 43.6532, -79.3832, 'America/Toronto')
           : place('United States', 'US', 'Mountain View', 37.386, -122.0838, 'America/Los_Angeles') ],
    [ '1.1.1.0/24',
      $alt ? place('Japan', 'JP', 'Tokyo', 35.6895, 139.6917, 'Asia/Tokyo')
           : place('Australia', 'AU', 'Sydney', -33.8688, 151.2093, 'Australia/Sydney') ],
    [ '2001:4860::/32',
      $alt ? place('Norway', 'NO', 'Oslo', 59.9139, 10.7522, 'Europe/Oslo')
           : place('Germany', 'DE', 'Berlin', 52.52, 13.405, 'Europe/Berlin') ],
    # A record with a country but neither city nor coordinates.
    [ '81.2.69.0/24', place($alt ? 'Ireland' : 'United Kingdom', $alt ? 'IE' : 'GB') ],
);

my $tree = MaxMind::DB::Writer::Tree->new(
    ip_version            => 6,
    record_size           => 28,
    database_type         => 'GeoLite2-City',
    languages             => ['en'],
    description           => { en => "pavora $variant city database" },
    alias_ipv6_to_ipv4    => 1,
    map_key_type_callback => sub { $types{ $_[0] } },
);
$tree->insert_network(@$_) for @networks;

open my $fh, '>:raw', "$output.tmp" or die "cannot write $output.tmp: $!\n";
$tree->write_tree($fh);
close $fh or die "cannot write $output.tmp: $!\n";
rename "$output.tmp", $output or die "cannot rename to $output: $!\n";
