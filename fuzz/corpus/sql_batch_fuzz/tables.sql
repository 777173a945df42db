create table t (k);
create table u (k, w);
insert into t values (1);
insert into u values (1, 'z');
select t.k, x.w from t, u x where t.k = x.k and t.k in (select k from u);
assign to v select * from u;
alter table u add column c 'd';
alter table u drop column w;
save table u;
release table u;
delete from t;
drop table t;
rollback